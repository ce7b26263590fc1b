// Command lines as one text, split and joined by the rules of the Windows shell, so that the
// line handed to the game means exactly the arguments the launcher was given.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace VadiZov {

// The first token of a command line, the program path. It has rules of its own: when it
// starts with a quote it runs to the next quote, else to the first blank or tab; backslashes
// and inner quotes are plain characters.
struct ProgramToken {
    std::string text;
    size_t end = 0;       // offset just past the token, after its closing quote if any
    bool quoted = false;
};

ProgramToken parseProgramToken(std::string_view commandLine);

// Splits a command line into arguments. An empty line gives no arguments; any other line gives
// at least the program token. After it, blanks and tabs separate arguments outside quotes;
// 2n backslashes before a quote give n backslashes and the quote opens or closes quoting;
// 2n+1 give n backslashes and a literal quote; a doubled quote inside quoting gives a literal
// quote and ends the quoting; other backslashes are literal.
std::vector<std::string> splitCommandLine(std::string_view commandLine);

// The program token for `path`: quoted when empty or holding a blank or tab. A quoted program
// token cannot carry a quote, so quotes are dropped from such a path.
std::string quoteProgramToken(const std::string& path);
// One further argument written so that splitCommandLine gives it back unchanged.
std::string quoteArgument(const std::string& argument);

// Joins arguments with single blanks: splitCommandLine(joinCommandLine(v)) == v for every v
// whose first element quoteProgramToken keeps.
std::string joinCommandLine(const std::vector<std::string>& arguments);

// The process's own command line, built from the argument vector the system handed over;
// nothing (last error set) when there is none.
std::optional<std::string> commandLineFromArguments(int argc, const char* const* argv);

} // namespace VadiZov
