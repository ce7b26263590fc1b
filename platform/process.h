// Starting programs from an argument vector (never through a shell), waiting for them, and the
// running program's own path.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace VadiZov::platform {

struct Process {
    pid_t pid = -1;
    bool valid() const { return pid > 0; }
};

// argv[0] is the program path (searched in PATH when it holds no '/'). False with the last
// error set when the program could not be started.
bool startProcess(const std::vector<std::string>& argv, Process* out);
// Waits for the process to end; returns its exit code (128 + signal when it was killed),
// or -1 with the last error set.
int waitProcess(Process& process);

// Absolute path of the running executable; "" when unknown.
std::string executablePath();

} // namespace VadiZov::platform
