#include <gtest/gtest.h>

#include <random>

#include "launcher/command_line.h"
#include "launcher/game_start.h"
#include "launcher/module_directory.h"
#include "platform/last_error.h"

using namespace VadiZov;

using Arguments = std::vector<std::string>;

TEST(CommandLineSplit, FollowsTheWindowsRules)
{
    const struct {
        const char* line;
        Arguments expected;
    } cases[] = {
        {"", {}},
        {"prog", {"prog"}},
        {"prog a  b\t c ", {"prog", "a", "b", "c"}},
        {"  a", {"", "a"}},  // leading blanks: the program token is empty
        // Program token: quotes run to the next quote, backslashes and inner quotes are plain.
        {"\"C:\\Program Files\\R.exe\" x", {"C:\\Program Files\\R.exe", "x"}},
        {"\"a b\"c d", {"a b", "c", "d"}},
        {"\"unterminated path", {"unterminated path"}},
        {"pro\"g\\\" x", {"pro\"g\\\"", "x"}},
        // Further arguments.
        {"p \"a b\" \"\" x", {"p", "a b", "", "x"}},
        {"p a\"b c\"d", {"p", "ab cd"}},
        {"p a\\b \\\\server\\share", {"p", "a\\b", "\\\\server\\share"}},
        {"p a\\\"b", {"p", "a\"b"}},           // 1 backslash + quote: literal quote
        {"p a\\\\\"b c\"", {"p", "a\\b c"}},   // 2 backslashes + quote: one backslash, quoting
        {"p a\\\\\\\"b", {"p", "a\\\"b"}},     // 3 backslashes + quote
        {"p \"a\\\\\"", {"p", "a\\"}},
        {"p \"a\"\"b\" c", {"p", "a\"b c"}},   // doubled quote inside quoting ends it
        {"p \"\"\" x", {"p", "\"", "x"}},
        {"p \"\"\"\" x", {"p", "\" x"}},  // the fourth quote opens quoting again
        {"p \"\"\"a b\"", {"p", "\"a", "b"}},
        {"p \"open to end", {"p", "open to end"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(splitCommandLine(c.line), c.expected) << "line: " << c.line;
}

TEST(CommandLineJoin, IsTheExactInverseOfTheSplit)
{
    const Arguments cases[] = {
        {"prog"},
        {""},
        {"/opt/my game/Rovanta", "a b", "", "tab\there", "quote\"inside", "\"", "\\", "end\\",
         "\\\"", "a\\\\\"b", "\"\"", "-hash"},
        {"pro\"g", "x"},  // a quote in an unquoted program token stays plain
    };
    for (const Arguments& arguments : cases)
        EXPECT_EQ(splitCommandLine(joinCommandLine(arguments)), arguments)
            << joinCommandLine(arguments);

    // Random arguments from the characters that matter.
    std::mt19937 random(12345);
    const char alphabet[] = {'a', ' ', '\t', '"', '\\'};
    for (int round = 0; round < 3000; ++round) {
        Arguments arguments{"/bin/prog"};
        const int count = int(random() % 5);
        for (int i = 0; i < count; ++i) {
            std::string argument;
            const int length = int(random() % 7);
            for (int k = 0; k < length; ++k)
                argument += alphabet[random() % sizeof alphabet];
            arguments.push_back(argument);
        }
        const std::string line = joinCommandLine(arguments);
        ASSERT_EQ(splitCommandLine(line), arguments) << "line: " << line;
    }
}

TEST(CommandLineJoin, ProgramTokensThatCannotHoldTheirQuotesLoseThem)
{
    EXPECT_EQ(quoteProgramToken("plain"), "plain");
    EXPECT_EQ(quoteProgramToken(""), "\"\"");
    EXPECT_EQ(quoteProgramToken("a b"), "\"a b\"");
    EXPECT_EQ(quoteProgramToken("\"a"), "\"a\"");
    EXPECT_EQ(quoteProgramToken("a\" b"), "\"a b\"");
}

TEST(CommandLineJoin, NoArgumentVectorMeansNoCommandLine)
{
    platform::setLastError(0);
    EXPECT_FALSE(commandLineFromArguments(0, nullptr).has_value());
    EXPECT_EQ(platform::getLastError(), platform::kErrorInvalidParameter);
    const char* argv[] = {"/x/Rovanta", "a b"};
    EXPECT_EQ(commandLineFromArguments(2, argv), std::optional<std::string>("/x/Rovanta \"a b\""));
}

TEST(GameCommandLine, ExchangesOnlyTheProgramToken)
{
    const struct {
        const char* line;
        const char* programPath;
        const char* gamePath;
        const char* expected;
    } cases[] = {
        // Quoted launcher path: quoted game path, the rest byte for byte.
        {"\"/opt/R/Rovanta\"  a   \"b c\"", "/opt/R/Rovanta", "/opt/R/Bin32/Rovanta.x86.exe",
         "\"/opt/R/Bin32/Rovanta.x86.exe\"  a   \"b c\""},
        {"Rovanta -x", "Rovanta", "/opt/R/Bin64/Rovanta.x64.exe", "/opt/R/Bin64/Rovanta.x64.exe -x"},
        // An unquoted launcher token with a game path holding a blank: the path gets quotes.
        {"Rovanta a", "Rovanta", "/opt/my game/Bin32/Rovanta.x86.exe",
         "\"/opt/my game/Bin32/Rovanta.x86.exe\" a"},
        {"Rovanta a", "Rovanta", "/opt/tab\tdir/Bin32/Rovanta.x86.exe",
         "\"/opt/tab\tdir/Bin32/Rovanta.x86.exe\" a"},
        // The program path's text is not in the line: the token is still exchanged, so the
        // launcher does not start itself again.
        {"\"/opt/R/Rovanta\" a", "/elsewhere/Rovanta", "/opt/R/Bin32/Rovanta.x86.exe",
         "/opt/R/Bin32/Rovanta.x86.exe a"},
        {"\"\" a", "", "/g/Bin32/Rovanta.x86.exe", "\"/g/Bin32/Rovanta.x86.exe\" a"},
        // The program path also appears among the arguments: only the token changes.
        {"/opt/R/Rovanta /opt/R/Rovanta", "/opt/R/Rovanta", "/G", "/G /opt/R/Rovanta"},
    };
    for (const auto& c : cases) {
        const std::string line = gameCommandLine(c.line, c.programPath, c.gamePath);
        EXPECT_EQ(line, c.expected) << "line: " << c.line;
        const Arguments before = splitCommandLine(c.line);
        Arguments after = splitCommandLine(line);
        ASSERT_EQ(after.size(), before.size());
        EXPECT_EQ(after[0], c.gamePath);
        EXPECT_TRUE(std::equal(after.begin() + 1, after.end(), before.begin() + 1));
    }
}

TEST(ModuleDirectory, IsTheTextBeforeTheLastSeparator)
{
    EXPECT_EQ(directoryOfPath("/opt/R/Rovanta"), "/opt/R");
    EXPECT_EQ(directoryOfPath("C:\\R\\Rovanta.exe"), "C:\\R");
    EXPECT_EQ(directoryOfPath("a\\b/c"), "a\\b");
    EXPECT_EQ(directoryOfPath("a/b\\c"), "a/b");
    EXPECT_EQ(directoryOfPath("/Rovanta"), "");
    EXPECT_EQ(directoryOfPath("Rovanta"), "Rovanta");
}
