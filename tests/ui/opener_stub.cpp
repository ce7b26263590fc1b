// Records one call per line in $VELKOR_TEST_OPENER_LOG: the argument count, then each
// argument with backslash, line breaks and '|' escaped, separated by '|'.
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

int main(int argc, char* argv[])
{
    const char* log = std::getenv("VELKOR_TEST_OPENER_LOG");
    if (!log)
        return 2;
    std::string line = std::to_string(argc - 1);
    for (int i = 1; i < argc; ++i) {
        line += '|';
        for (const char* p = argv[i]; *p; ++p) {
            switch (*p) {
            case '\\': line += "\\\\"; break;
            case '\n': line += "\\n"; break;
            case '|': line += "\\|"; break;
            default: line += *p;
            }
        }
    }
    line += '\n';
    int fd = open(log, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0)
        return 3;
    ssize_t written = write(fd, line.data(), line.size());  // one write: lines never interleave
    close(fd);
    return written == ssize_t(line.size()) ? 0 : 4;
}
