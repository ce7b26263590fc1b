// A temporary installation holding a copy of the built launcher, and a way to run it with its
// exit code, standard output and standard error captured.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace launcher_test {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// A wrapper that runs the command in a private mount namespace with an empty /proc, so that a
// program cannot find its own path.
std::vector<std::string> withoutProc();
// Why withoutProc() cannot be used here, or "" when it can: it needs root, and the address
// sanitizer's runtime cannot work without /proc.
std::string whyProcCannotBeHidden();

class LauncherSandbox {
public:
    // `installName` is the installation directory's own name inside a fresh temporary folder.
    explicit LauncherSandbox(const std::string& installName = "install");
    ~LauncherSandbox();
    LauncherSandbox(const LauncherSandbox&) = delete;
    LauncherSandbox& operator=(const LauncherSandbox&) = delete;

    const std::string& dir() const { return m_dir; }
    std::string launcher() const { return m_dir + "/Rovanta"; }
    std::string path(const std::string& relative) const { return m_dir + "/" + relative; }

    void write(const std::string& relative, const std::string& content) const;
    std::string read(const std::string& relative) const;
    // An executable script that records its $0 and arguments in "<relative>.args" and exits
    // with `exitCode`.
    void addStandInGame(const std::string& relative, int exitCode = 7) const;
    // What the stand-in game at `relative` recorded; empty when it never ran.
    std::vector<std::string> recordedArguments(const std::string& relative) const;

    // Runs `command` (prefixed by `wrapper`, such as {"setarch", "i686"}) with a 60 s limit.
    RunResult run(const std::vector<std::string>& command,
                  const std::vector<std::string>& wrapper = {}) const;
    // Runs the launcher by its full path with `arguments`.
    RunResult runLauncher(const std::vector<std::string>& arguments,
                          const std::vector<std::string>& wrapper = {}) const;

private:
    std::filesystem::path m_root;
    std::string m_dir;
};

} // namespace launcher_test
