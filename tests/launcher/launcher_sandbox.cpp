#include "tests/launcher/launcher_sandbox.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

#include "platform/process.h"

namespace fs = std::filesystem;

namespace launcher_test {

std::vector<std::string> withoutProc()
{
    return {"unshare", "-m", "--propagation", "private", "sh", "-c", "mount -t tmpfs none /proc && exec \"$0\" \"$@\""};
}

std::string whyProcCannotBeHidden()
{
#ifdef __SANITIZE_ADDRESS__
    return "the address sanitizer's runtime needs /proc";
#else
    return geteuid() == 0 ? "" : "hiding /proc needs a private mount namespace (root)";
#endif
}

LauncherSandbox::LauncherSandbox(const std::string& installName)
{
    std::random_device seed;
    m_root = fs::temp_directory_path() / ("launcher-test-" + std::to_string(seed()) + std::to_string(seed()));
    const fs::path install = m_root / installName;
    fs::create_directories(install);
    // Readable for an unprivileged user too, for the tests that drop root.
    fs::permissions(m_root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    m_dir = install.string();
    fs::copy_file(ROVANTA_BINARY, install / "Rovanta");
    fs::permissions(install / "Rovanta", fs::perms::owner_all | fs::perms::group_read |
                                             fs::perms::group_exec | fs::perms::others_read |
                                             fs::perms::others_exec);
}

LauncherSandbox::~LauncherSandbox()
{
    std::error_code ignored;
    // Give back what tests took away so that the folder can be removed.
    for (auto it = fs::recursive_directory_iterator(m_root, fs::directory_options::skip_permission_denied, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored))
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(m_root, ignored);
}

void LauncherSandbox::write(const std::string& relative, const std::string& content) const
{
    const fs::path file = path(relative);
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << content;
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

std::string LauncherSandbox::read(const std::string& relative) const
{
    std::ifstream in(path(relative), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void LauncherSandbox::addStandInGame(const std::string& relative, int exitCode) const
{
    write(relative, "#!/bin/sh\nprintf '%s\\0' \"$0\" \"$@\" > \"$0.args\"\nexit " +
                        std::to_string(exitCode) + "\n");
    fs::permissions(path(relative), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
}

std::vector<std::string> LauncherSandbox::recordedArguments(const std::string& relative) const
{
    const std::string recorded = read(relative + ".args");
    std::vector<std::string> arguments;
    size_t start = 0;
    for (size_t end; (end = recorded.find('\0', start)) != std::string::npos; start = end + 1)
        arguments.push_back(recorded.substr(start, end - start));
    return arguments;
}

RunResult LauncherSandbox::run(const std::vector<std::string>& command,
                               const std::vector<std::string>& wrapper) const
{
    const std::string outFile = (m_root / "run.out").string();
    const std::string errFile = (m_root / "run.err").string();
    // The shell only redirects; every argument reaches the program untouched.
    std::vector<std::string> argv = {"/bin/sh", "-c",
                                     "out=$1; err=$2; shift 2; exec \"$@\" >\"$out\" 2>\"$err\"",
                                     "sh", outFile, errFile, "timeout", "60"};
    argv.insert(argv.end(), wrapper.begin(), wrapper.end());
    argv.insert(argv.end(), command.begin(), command.end());
    VadiZov::platform::Process process;
    RunResult result;
    if (!VadiZov::platform::startProcess(argv, &process))
        throw std::runtime_error("cannot start /bin/sh");
    result.exitCode = VadiZov::platform::waitProcess(process);
    auto slurp = [](const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    };
    result.out = slurp(outFile);
    result.err = slurp(errFile);
    return result;
}

RunResult LauncherSandbox::runLauncher(const std::vector<std::string>& arguments,
                                       const std::vector<std::string>& wrapper) const
{
    std::vector<std::string> command{launcher()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return run(command, wrapper);
}

} // namespace launcher_test
