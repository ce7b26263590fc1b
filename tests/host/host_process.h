// Runs velkor-host as a process and collects its exit code, standard output and error.
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace VadiZov::testing {

struct HostRun {
    int exitCode;
    std::string out, err;
};

inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The host with args, its streams captured in files below dir.
inline HostRun runHost(const std::string& hostPath, const std::filesystem::path& dir, const std::string& args)
{
    const std::filesystem::path out = dir / "stdout.txt", err = dir / "stderr.txt";
    const std::string command = hostPath + " " + args + " >" + out.string() + " 2>" + err.string();
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out), readFile(err)};
}

struct HostLimits {
    int seconds = 60;          // killed after this long: a hang fails instead of stalling
    long long fileBytes = 0;   // no file may grow past this (0: no limit), as on a full disk
};

// The host with args, run in `dir`, its streams read through pipes (a file size limit does not
// reach them).
inline HostRun runHostIn(const std::string& hostPath, const std::filesystem::path& dir,
                         const std::vector<std::string>& args, const HostLimits& limits = {})
{
    std::vector<std::string> command = {"timeout", "-k", "5", std::to_string(limits.seconds), hostPath};
    command.insert(command.end(), args.begin(), args.end());
    // Built before the fork: tests run hosts from several threads, and a child that allocates can
    // block for ever on an allocator lock another thread held at the fork.
    std::vector<char*> argv;
    for (std::string& a : command)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // Close-on-exec, so that a host started from another thread does not hold these pipes open.
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        return {-1, "", "pipe failed"};
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(126);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {out[0], out[1], err[0], err[1]})
            close(fd);
        if (limits.fileBytes > 0) {
            // A write past the limit then fails with EFBIG instead of killing the process.
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{rlim_t(limits.fileBytes), rlim_t(limits.fileBytes)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    HostRun run{-1, "", ""};
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* texts[2] = {&run.out, &run.err};
    for (int open = 2; open > 0;) {
        if (poll(fds, 2, -1) < 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[65536];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                texts[i]->append(buffer, size_t(got));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace VadiZov::testing
