#include "test_support.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace ui_test {

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/velkor-ui-XXXXXX";
    if (char* made = mkdtemp(templ.data()))
        path_ = made;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    if (!path_.empty())
        std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> readLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

std::vector<std::string> waitForOpenerLines(const std::string& logPath, size_t expected)
{
    using namespace std::chrono_literals;
    auto deadline = std::chrono::steady_clock::now() + 5s;
    while (readLines(logPath).size() < expected && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(200ms);
    return readLines(logPath);
}

const char* const kFixedScript =
    "var velkor;if (!velkor)  velkor = {};(function() {"
    "  velkor.sendGameEngine = function(str) {    native function sendGE();    return sendGE(str);  };"
    "  velkor.sendActiveObjectLua = function(str) {    native function sendOLua();    return sendOLua(str);  };"
    "  velkor.sendSystemLua = function(str) {    native function sendSLua();    return sendSLua(str);  };"
    "  velkor.sendEngineLua = function(str) {    native function sendELua();    return sendELua(str);  };"
    "  velkor.requestVersionInfo = function() {    native function getVerInfo();    return getVerInfo();  };"
    "  velkor.requestSteamInfo = function(str) {    native function getSteamInfo();    return getSteamInfo(str);  };"
    "  velkor.getCEFContextNo = function() {    native function getCEFContextNo();    return getCEFContextNo();  };";

} // namespace ui_test
