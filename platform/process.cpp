#include "platform/process.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/last_error.h"

extern char** environ;

namespace VadiZov::platform {

bool startProcess(const std::vector<std::string>& argv, Process* out)
{
    if (argv.empty() || !out) {
        setLastError(kErrorInvalidParameter);
        return false;
    }
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int rc = argv[0].find('/') == std::string::npos
                 ? posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ)
                 : posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ);
    if (rc != 0) {
        setLastError(rc);
        return false;
    }
    out->pid = pid;
    return true;
}

int waitProcess(Process& process)
{
    if (!process.valid()) {
        setLastError(kErrorInvalidHandle);
        return -1;
    }
    int status = 0;
    pid_t r;
    do {
        r = waitpid(process.pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        setLastErrorFromErrno();
        return -1;
    }
    process.pid = -1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

std::string executablePath()
{
    std::string path(256, '\0');
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0) {
            setLastErrorFromErrno();
            return std::string();
        }
        if (size_t(n) < path.size()) {
            path.resize(size_t(n));
            return path;
        }
        path.resize(path.size() * 2);
    }
}

} // namespace VadiZov::platform
