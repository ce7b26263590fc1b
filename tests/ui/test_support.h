// Helpers shared by the UI tests.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace ui_test {

// A fresh temporary directory, removed with its files by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string readFile(const std::string& path);
std::vector<std::string> readLines(const std::string& path);

// Waits until the opener log holds at least `expected` lines (at most ~5 s), then a little
// longer so that a surplus call would show, and returns the lines.
std::vector<std::string> waitForOpenerLines(const std::string& logPath, size_t expected);

// The exact text of the script's fixed piece, written out by hand.
extern const char* const kFixedScript;

} // namespace ui_test
