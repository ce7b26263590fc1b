#include "launcher/command_line.h"

#include "platform/last_error.h"

namespace VadiZov {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool holdsBlank(std::string_view text) { return text.find_first_of(" \t") != std::string_view::npos; }

// Reads one argument after the program token, starting at a non-blank character; returns the
// offset after it.
size_t readArgument(std::string_view line, size_t i, std::string* argument)
{
    bool inQuotes = false;
    while (i < line.size() && (inQuotes || !isBlank(line[i]))) {
        const char c = line[i];
        if (c == '\\') {
            size_t count = 0;
            while (i < line.size() && line[i] == '\\') {
                ++count;
                ++i;
            }
            if (i < line.size() && line[i] == '"') {
                argument->append(count / 2, '\\');
                if (count % 2 == 1) {
                    *argument += '"';
                    ++i;
                }
                // With an even count the quote is read as an unescaped one next round.
            } else {
                argument->append(count, '\\');
            }
            continue;
        }
        if (c == '"') {
            if (inQuotes && i + 1 < line.size() && line[i + 1] == '"') {
                *argument += '"';
                inQuotes = false;
                i += 2;
            } else {
                inQuotes = !inQuotes;
                ++i;
            }
            continue;
        }
        *argument += c;
        ++i;
    }
    return i;
}

} // namespace

ProgramToken parseProgramToken(std::string_view line)
{
    ProgramToken token;
    if (!line.empty() && line[0] == '"') {
        token.quoted = true;
        const size_t close = line.find('"', 1);
        if (close == std::string_view::npos) {
            token.text = line.substr(1);
            token.end = line.size();
        } else {
            token.text = line.substr(1, close - 1);
            token.end = close + 1;
        }
        return token;
    }
    size_t end = 0;
    while (end < line.size() && !isBlank(line[end]))
        ++end;
    token.text = line.substr(0, end);
    token.end = end;
    return token;
}

std::vector<std::string> splitCommandLine(std::string_view line)
{
    std::vector<std::string> arguments;
    if (line.empty())
        return arguments;
    const ProgramToken program = parseProgramToken(line);
    arguments.push_back(program.text);
    size_t i = program.end;
    for (;;) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i >= line.size())
            break;
        std::string argument;
        i = readArgument(line, i, &argument);
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

std::string quoteProgramToken(const std::string& path)
{
    if (!path.empty() && path[0] != '"' && !holdsBlank(path))
        return path;
    std::string token = "\"";
    for (char c : path)
        if (c != '"')
            token += c;
    token += '"';
    return token;
}

std::string quoteArgument(const std::string& argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only in front of a quote: double them there, and escape the quote.
        if (c == '"') {
            quoted.append(2 * backslashes + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        quoted += c;
        backslashes = 0;
    }
    quoted.append(2 * backslashes, '\\');  // they stand in front of the closing quote
    quoted += '"';
    return quoted;
}

std::string joinCommandLine(const std::vector<std::string>& arguments)
{
    std::string line;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0)
            line += ' ';
        line += i == 0 ? quoteProgramToken(arguments[i]) : quoteArgument(arguments[i]);
    }
    return line;
}

std::optional<std::string> commandLineFromArguments(int argc, const char* const* argv)
{
    if (argc < 1 || !argv) {
        platform::setLastError(platform::kErrorInvalidParameter);
        return std::nullopt;
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.emplace_back(argv[i] ? argv[i] : "");
    return joinCommandLine(arguments);
}

} // namespace VadiZov
