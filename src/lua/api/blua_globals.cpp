// The global Lua functions that are not members of a class: logging, table dump, hexdump.
#include <cstdio>
#include <string>
#include <vector>

#include "base/blog.h"
#include "lua/api/blua_api.h"
#include "lua/binding/blua_binding.h"
#include "lua/blua_table_ref.h"
#include "platform/last_error.h"
#include "platform/path_below.h"
#include "velkor/types.h"

namespace VadiZov {

namespace {

// A nil text arrives as null and is logged as an empty line.
const char* textOrEmpty(const char* text) { return text ? text : ""; }

void luaLogDebug(const char*) {}
void luaLogInfo(const char* text) { logMessage(LOG_INFO, textOrEmpty(text), true); }
void luaLogWarn(const char* text) { logMessage(LOG_WARN, textOrEmpty(text), true); }
void luaLogError(const char* text) { logMessage(LOG_ERROR, textOrEmpty(text), true); }
void luaLogAlways(const char* text) { logMessage(LOG_ALWAYS, textOrEmpty(text), true); }
void luaLogAlwaysNoNewline(const char* text) { logMessage(LOG_ALWAYS, textOrEmpty(text), false); }
void luaSetLogLevel(int level) { setLogLevel(level); }
void luaBench() {}

Vector3 float3ToVector3(const float3& v) { return Vector3{v.x, v.y, v.z}; }

// Scripts can only pass nil as data: nothing is dumped from a null pointer.
void luaHexdump(const void* data, int length)
{
    if (data && length > 0)
        hexdump(data, unsigned(length));
}

// Nesting deeper than this is written as a comment rather than followed.
constexpr int kMaxDumpDepth = 32;

// Every dump begins with this, which is how a later dump knows a file it may replace.
constexpr const char* kDumpMark = "// automatically dumped via coreLua dumpTableToFile: ";
// What one dump may write: the most a script can read back through the host's file system.
constexpr uint64_t kMaxDumpBytes = uint64_t(256) << 20;

void writeQuoted(FILE* file, const char* text, size_t length)
{
    std::fputc('"', file);
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\')
            std::fprintf(file, "\\%c", c);
        else if (c == '\n')
            std::fputs("\\n", file);
        else if (c < 32 || c == 127)
            std::fprintf(file, "\\%03u", unsigned(c));
        else
            std::fputc(c, file);
    }
    std::fputc('"', file);
}

// Writes a key or a scalar value; tables are handled by the caller.
void writeScalar(lua_State* L, int index, FILE* file)
{
    switch (lua_type(L, index)) {
    case LUA_TNUMBER: std::fprintf(file, "%.14g", lua_tonumber(L, index)); break;
    case LUA_TBOOLEAN: std::fputs(lua_toboolean(L, index) ? "true" : "false", file); break;
    case LUA_TSTRING: {
        size_t length = 0;
        const char* text = lua_tolstring(L, index, &length);
        writeQuoted(file, text, length);
        break;
    }
    default: std::fprintf(file, "\"<%s>\"", luaL_typename(L, index)); break;
    }
}

// Writes the entries of the table on top of the stack, one per line, nested tables indented.
void writeTableBody(lua_State* L, FILE* file, int depth, std::vector<const void*>& path)
{
    const int table = lua_gettop(L);
    path.push_back(lua_topointer(L, table));
    const std::string indent(size_t(depth) * 2, ' ');
    lua_pushnil(L);
    while (lua_next(L, table) != 0) {
        std::fputs(indent.c_str(), file);
        std::fputc('[', file);
        writeScalar(L, -2, file);
        std::fputs("] = ", file);
        if (lua_istable(L, -1)) {
            bool cycle = false;
            for (const void* seen : path)
                cycle = cycle || seen == lua_topointer(L, -1);
            if (cycle)
                std::fputs("nil, -- cycle\n", file);
            else if (depth >= kMaxDumpDepth)
                std::fputs("nil, -- too deep\n", file);
            else {
                std::fputs("{\n", file);
                writeTableBody(L, file, depth + 1, path);
                std::fprintf(file, "%s},\n", indent.c_str());
            }
        } else {
            writeScalar(L, -1, file);
            std::fputs(",\n", file);
        }
        lua_pop(L, 1);
    }
    path.pop_back();
}

bool dumpTableToFile(LuaTableRef table, const char* path)
{
    path = textOrEmpty(path);
    lua_State* L = table.state();
    // Room for the deepest walk up front, so no Lua error can leave the file open.
    luaL_checkstack(L, 3 * kMaxDumpDepth + 8, "dumpTableToFile");
    // Scripts name the file: it stays below the working directory, is never a link, and an
    // existing file is replaced only when an earlier dump wrote it.
    FILE* file = platform::openOwnFileBelow(".", path, kDumpMark, kMaxDumpBytes);
    if (!file) {
        logFormat(LOG_ERROR, "dumpTableToFile: cannot write '%s': it %s", path,
                  platform::refusalText(platform::getLastError()).c_str());
        table.release();
        return false;
    }
    std::fprintf(file, "%s%s\n{\n", kDumpMark, path);
    table.push(L);
    std::vector<const void*> tablePath;
    writeTableBody(L, file, 1, tablePath);
    lua_pop(L, 1);
    std::fputs("}\n", file);
    const bool cut = std::ferror(file) != 0;
    const bool closed = std::fclose(file) == 0;
    table.release();
    if (cut || !closed) {
        logFormat(LOG_ERROR, "dumpTableToFile: '%s' is cut short: a dump holds at most %llu MiB", path,
                  static_cast<unsigned long long>(kMaxDumpBytes >> 20));
        return false;
    }
    return true;
}

} // namespace

void registerLuaGlobalFunctions(LuaBinding::Namespace& scope)
{
    scope.addFunction("logDebug", &luaLogDebug)
        .addFunction("logInfo", &luaLogInfo)
        .addFunction("logWarn", &luaLogWarn)
        .addFunction("logError", &luaLogError)
        .addFunction("logAlways", &luaLogAlways)
        .addFunction("setLogLevel", &luaSetLogLevel)
        .addFunction("logAlwaysNoNewline", &luaLogAlwaysNoNewline)
        .addFunction("dumpTableToFile", &dumpTableToFile)
        .addFunction("float3_2_Vector3", &float3ToVector3)
        .addFunction("bench", &luaBench)
        .addFunction("hexdump", &luaHexdump);
}

} // namespace VadiZov
