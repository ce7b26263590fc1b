#include "lua_test_support.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "base/blog.h"
#include "lua/blua.h"
#include "base/bglobals.h"

namespace VadiZov::testing {

size_t MemoryFile::read(void* buffer, size_t bufferSize, size_t elementSize, size_t count)
{
    // A buffer size of 0 bounds nothing: the sandbox's fread does not know it (as on the host).
    const size_t wanted = bufferSize ? std::min(bufferSize, elementSize * count) : elementSize * count;
    const size_t available = contents_.size() - std::min(position_, contents_.size());
    const size_t bytes = std::min(wanted, available);
    std::memcpy(buffer, contents_.data() + position_, bytes);
    position_ += bytes;
    return elementSize == 0 ? 0 : bytes / elementSize;
}

int MemoryFS::fileExists(const char* path)
{
    const std::string name(path);
    if (files_.count(name))
        return 1;
    return std::find(unopenable_.begin(), unopenable_.end(), name) != unopenable_.end() ? 1 : 0;
}

FilePure* MemoryFS::openFile(const char* path, const char* mode)
{
    openModes.push_back(mode);
    auto found = files_.find(path);
    if (found == files_.end())
        return nullptr;
    opened.push_back(std::make_unique<MemoryFile>(found->second));
    return opened.back().get();
}

void LuaTest::SetUp()
{
    resetLogStateForTests();
    g_logSink = &sink;
    g_fileSystem = &fs;
}

void LuaTest::TearDown()
{
    g_logSink = nullptr;
    g_fileSystem = nullptr;
    resetLogStateForTests();
}

std::string tempPath(const std::string& name)
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // One folder a process: two test programs (or two checkouts) running at once must not share files.
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("velkor_lua_tests-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    // Removed when the program ends, with whatever the tests left in it.
    static const struct Remover {
        std::filesystem::path dir;
        ~Remover()
        {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        }
    } remover{dir};
    return (dir / (std::string(info->test_suite_name()) + "_" + info->name() + "_" + name)).string();
}

std::string readWholeFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

InWorkingFolder::InWorkingFolder() : path_(tempPath("cwd")), previous_(std::filesystem::current_path().string())
{
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
    std::filesystem::current_path(path_);
}

InWorkingFolder::~InWorkingFolder()
{
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(path_);
}

std::string runProtected(Lua& lua, const std::string& code)
{
    lua_State* L = lua.state();
    const int top = lua_gettop(L);
    std::string error;
    if (luaL_loadstring(L, code.c_str()) != 0 || lua_pcall(L, 0, 0, 0) != 0)
        error = lua_tostring(L, -1) ? lua_tostring(L, -1) : "(non-string error)";
    lua_settop(L, top);
    return error;
}

} // namespace VadiZov::testing
