// Runs velkor-host as a process and collects its exit code, standard output and error.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

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

} // namespace VadiZov::testing
