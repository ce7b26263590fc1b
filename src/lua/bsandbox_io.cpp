#include "lua/bsandbox_io.h"

#include <cstdio>
#include <cstring>

#include "lua/blua_open_files.h"
#include "lua/bsandbox_stdio.h"

namespace VadiZov {

namespace {

constexpr const char* kFileClass = "VadiZov.sandbox.file";
constexpr const char* kDefaultInput = "VadiZov.sandbox.input";
constexpr const char* kDefaultOutput = "VadiZov.sandbox.output";
constexpr lua_Number kLargestCount = 1e15;
// A C closure holds at most 255 values; three are the iterator's own.
constexpr int kMostLineFormats = 250;

struct ScriptFile {
    FILE* handle;   // null once closed
    bool standard;  // one of the three standard streams: never closed
};

ScriptFile* toScriptFile(lua_State* L, int index)
{
    return static_cast<ScriptFile*>(luaL_checkudata(L, index, kFileClass));
}

FILE* openHandle(lua_State* L, int index)
{
    ScriptFile* file = toScriptFile(L, index);
    if (!file->handle)
        luaL_error(L, "attempt to use a closed file");
    return file->handle;
}

ScriptFile* pushScriptFile(lua_State* L, FILE* handle, bool standard)
{
    auto* file = static_cast<ScriptFile*>(lua_newuserdata(L, sizeof(ScriptFile)));
    file->handle = handle;
    file->standard = standard;
    luaL_getmetatable(L, kFileClass);
    lua_setmetatable(L, -2);
    if (!standard)
        luaIoFileOpened(L);
    return file;
}

// Closes a script's file (never a standard stream) and gives its place under the cap back.
int closeHandle(lua_State* L, ScriptFile* file)
{
    if (!file->handle || file->standard)
        return 0;
    const int result = sandbox_fclose(file->handle);
    file->handle = nullptr;
    luaIoFileClosed(L);
    return result;
}

// A file of the host's for a script, or null: refused past the state's cap of open files.
FILE* openForScript(lua_State* L, const char* member, const char* path, const char* mode, bool& full)
{
    full = !luaRoomForFile(L, member);
    return full ? nullptr : sandbox_fopen(path, mode);
}

int pushFailure(lua_State* L, const char* what, const char* name)
{
    lua_pushnil(L);
    if (name)
        lua_pushfstring(L, "%s: %s", name, what);
    else
        lua_pushstring(L, what);
    return 2;
}

int pushResult(lua_State* L, bool ok, const char* what)
{
    if (!ok)
        return pushFailure(L, what, nullptr);
    lua_pushboolean(L, 1);
    return 1;
}

// ---- closing ----

int closeScriptFile(lua_State* L, int index)
{
    ScriptFile* file = toScriptFile(L, index);
    openHandle(L, index);
    if (file->standard)
        return pushFailure(L, "cannot close standard file", nullptr);
    return pushResult(L, closeHandle(L, file) == 0, "close failed");
}

int collectFile(lua_State* L)
{
    ScriptFile* file = toScriptFile(L, 1);
    closeHandle(L, file);
    file->handle = nullptr;
    return 0;
}

int fileToString(lua_State* L)
{
    ScriptFile* file = toScriptFile(L, 1);
    if (file->handle)
        lua_pushfstring(L, "file (%p)", static_cast<void*>(file));
    else
        lua_pushliteral(L, "file (closed)");
    return 1;
}

// ---- reading ----

bool readLine(lua_State* L, FILE* handle, bool keepNewline)
{
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    for (;;) {
        char* piece = luaL_prepbuffer(&b);
        if (!sandbox_fgets(piece, LUAL_BUFFERSIZE, handle)) {
            luaL_pushresult(&b);
            return lua_objlen(L, -1) > 0;
        }
        const size_t length = strnlen(piece, LUAL_BUFFERSIZE);
        if (length == 0 || piece[length - 1] != '\n') {
            luaL_addsize(&b, length);
            continue;
        }
        luaL_addsize(&b, keepNewline ? length : length - 1);
        luaL_pushresult(&b);
        return true;
    }
}

bool readCount(lua_State* L, FILE* handle, size_t count)
{
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    size_t got = 0;
    while (got < count) {
        const size_t wanted = count - got < LUAL_BUFFERSIZE ? count - got : LUAL_BUFFERSIZE;
        const size_t read = sandbox_fread(luaL_prepbuffer(&b), 1, wanted, handle);
        luaL_addsize(&b, read);
        got += read;
        if (read < wanted)
            break;
    }
    luaL_pushresult(&b);
    return got > 0;
}

void readAll(lua_State* L, FILE* handle)
{
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    for (;;) {
        const size_t read = sandbox_fread(luaL_prepbuffer(&b), 1, LUAL_BUFFERSIZE, handle);
        luaL_addsize(&b, read);
        if (read < LUAL_BUFFERSIZE)
            break;
    }
    luaL_pushresult(&b);
}

// The runtime's end-of-file probe reads one character and puts it back.
bool notAtEnd(lua_State* L, FILE* handle)
{
    const int c = sandbox_getc(handle);
    sandbox_ungetc(c, handle);
    lua_pushliteral(L, "");
    return c != EOF;
}

// The runtime reads numbers with fscanf.
bool readNumber(lua_State* L, FILE* handle)
{
    lua_Number value = 0;
    if (sandbox_fscanf(handle, "%lf", &value) == 1) {
        lua_pushnumber(L, value);
        return true;
    }
    lua_pushnil(L);
    return false;
}

bool readOne(lua_State* L, FILE* handle, int argument)
{
    if (lua_type(L, argument) == LUA_TNUMBER) {
        const lua_Number count = lua_tonumber(L, argument);
        if (!(count > 0))
            return notAtEnd(L, handle);
        // Far beyond any file: reads to the end.
        return readCount(L, handle, count < kLargestCount ? size_t(count) : size_t(kLargestCount));
    }
    const char* format = luaL_checkstring(L, argument);
    if (format[0] == '*')
        ++format;
    switch (format[0]) {
    case 'n': return readNumber(L, handle);
    case 'l': return readLine(L, handle, false);
    case 'L': return readLine(L, handle, true);
    case 'a': readAll(L, handle); return true;
    default: return luaL_argerror(L, argument, "invalid format") != 0;
    }
}

// Reads the formats from argument first on; returns the number of results.
int readFormats(lua_State* L, FILE* handle, int first)
{
    const int formats = lua_gettop(L) - first + 1;
    sandbox_clearerr(handle);
    int results = 0;
    if (formats <= 0) {
        results = 1;
        if (!readLine(L, handle, false)) {
            lua_pop(L, 1);
            lua_pushnil(L);
        }
    } else {
        luaL_checkstack(L, formats + LUA_MINSTACK, "too many arguments");
        for (int i = 0; i < formats; ++i) {
            ++results;
            if (!readOne(L, handle, first + i)) {
                lua_pop(L, 1);
                lua_pushnil(L);
                break;
            }
        }
    }
    if (sandbox_ferror(handle))
        return pushFailure(L, "read error", nullptr);
    return results;
}

// ---- writing ----

int writeValues(lua_State* L, FILE* handle, int first, int fileIndex)
{
    const int top = lua_gettop(L);
    bool ok = true;
    for (int i = first; i <= top; ++i) {
        size_t length = 0;
        const char* text = nullptr;
        if (lua_type(L, i) == LUA_TNUMBER) {
            lua_pushvalue(L, i);
            text = lua_tolstring(L, -1, &length);
            ok = sandbox_fwrite(text, 1, length, handle) == length && ok;
            lua_pop(L, 1);
        } else {
            text = luaL_checklstring(L, i, &length);
            ok = sandbox_fwrite(text, 1, length, handle) == length && ok;
        }
    }
    if (!ok)
        return pushFailure(L, "write error", nullptr);
    lua_pushvalue(L, fileIndex);
    return 1;
}

// ---- default files ----

FILE* defaultHandle(lua_State* L, const char* key, const char* which)
{
    lua_getfield(L, LUA_REGISTRYINDEX, key);
    auto* file = static_cast<ScriptFile*>(lua_touserdata(L, -1));
    if (!file || !file->handle)
        luaL_error(L, "default %s file is closed", which);
    return file->handle;
}

int openOrFail(lua_State* L, const char* path, const char* mode)
{
    bool full = false;
    FILE* handle = openForScript(L, "io.input/io.output", path, mode, full);
    if (full)
        return luaL_error(L, "cannot open file '%s': too many open files", path);
    if (!handle)
        return luaL_error(L, "cannot open file '%s'", path);
    pushScriptFile(L, handle, false);
    return 1;
}

int defaultFile(lua_State* L, const char* key, const char* mode)
{
    if (!lua_isnoneornil(L, 1)) {
        if (lua_type(L, 1) == LUA_TSTRING) {
            openOrFail(L, lua_tostring(L, 1), mode);
        } else {
            openHandle(L, 1);
            lua_pushvalue(L, 1);
        }
        lua_setfield(L, LUA_REGISTRYINDEX, key);
    }
    lua_getfield(L, LUA_REGISTRYINDEX, key);
    return 1;
}

// ---- line iterators ----

int nextLine(lua_State* L)
{
    auto* file = static_cast<ScriptFile*>(lua_touserdata(L, lua_upvalueindex(1)));
    if (!file->handle)
        return luaL_error(L, "file is already closed");
    const int formats = int(lua_tointeger(L, lua_upvalueindex(3)));
    lua_settop(L, 0);
    for (int i = 1; i <= formats; ++i)
        lua_pushvalue(L, lua_upvalueindex(3 + i));
    const int results = readFormats(L, file->handle, 1);
    if (!lua_isnil(L, -results))
        return results;
    if (lua_toboolean(L, lua_upvalueindex(2)))
        closeHandle(L, file);
    return 0;
}

// Pushes the iterator over the file at fileIndex with the formats after formatsFrom.
void pushLineIterator(lua_State* L, int fileIndex, int formatsFrom, bool closeAtEnd)
{
    const int formats = lua_gettop(L) >= formatsFrom ? lua_gettop(L) - formatsFrom + 1 : 0;
    if (formats > kMostLineFormats)
        luaL_argerror(L, formatsFrom + kMostLineFormats, "too many arguments");
    luaL_checkstack(L, formats + 3, "too many arguments");
    lua_pushvalue(L, fileIndex);
    lua_pushboolean(L, closeAtEnd);
    lua_pushinteger(L, formats);
    for (int i = 0; i < formats; ++i)
        lua_pushvalue(L, formatsFrom + i);
    lua_pushcclosure(L, nextLine, 3 + formats);
}

// ---- io.* ----

// A newly opened file for the script, or nil and why not.
int pushOpened(lua_State* L, FILE* handle, const char* failure, const char* name)
{
    if (!handle)
        return pushFailure(L, failure, name);
    pushScriptFile(L, handle, false);
    return 1;
}

int ioOpen(lua_State* L)
{
    const char* path = luaL_checkstring(L, 1);
    const char* mode = luaL_optstring(L, 2, "r");
    bool full = false;
    FILE* handle = openForScript(L, "io.open", path, mode, full);
    return pushOpened(L, handle, full ? "too many open files" : "cannot open file", path);
}

int ioClose(lua_State* L)
{
    if (lua_isnone(L, 1))
        lua_getfield(L, LUA_REGISTRYINDEX, kDefaultOutput);
    return closeScriptFile(L, 1);
}

int ioType(lua_State* L)
{
    luaL_checkany(L, 1);
    void* data = lua_touserdata(L, 1);
    if (!lua_getmetatable(L, 1))
        lua_pushnil(L);
    luaL_getmetatable(L, kFileClass);
    if (!data || !lua_rawequal(L, -1, -2))
        lua_pushnil(L);
    else if (static_cast<ScriptFile*>(data)->handle)
        lua_pushliteral(L, "file");
    else
        lua_pushliteral(L, "closed file");
    return 1;
}

int ioInput(lua_State* L) { return defaultFile(L, kDefaultInput, "r"); }
int ioOutput(lua_State* L) { return defaultFile(L, kDefaultOutput, "w"); }

int ioRead(lua_State* L)
{
    FILE* handle = defaultHandle(L, kDefaultInput, "input");
    lua_pop(L, 1);
    return readFormats(L, handle, 1);
}

int ioWrite(lua_State* L)
{
    FILE* handle = defaultHandle(L, kDefaultOutput, "output");
    lua_insert(L, 1);  // the file first, then the values
    return writeValues(L, handle, 2, 1);
}

int ioFlush(lua_State* L)
{
    FILE* handle = defaultHandle(L, kDefaultOutput, "output");
    return pushResult(L, sandbox_fflush(handle) == 0, "flush failed");
}

int ioLines(lua_State* L)
{
    if (lua_isnoneornil(L, 1)) {
        if (lua_isnone(L, 1))
            lua_pushnil(L);  // the slot the default input takes
        defaultHandle(L, kDefaultInput, "input");
        lua_replace(L, 1);
        pushLineIterator(L, 1, 2, false);
        return 1;
    }
    const char* path = luaL_checkstring(L, 1);
    bool full = false;
    FILE* handle = openForScript(L, "io.lines", path, "r", full);
    if (!handle)
        return luaL_error(L, full ? "%s: too many open files" : "%s: cannot open file", path);
    pushScriptFile(L, handle, false);
    lua_replace(L, 1);
    pushLineIterator(L, 1, 2, true);
    return 1;
}

int ioPopen(lua_State* L)
{
    const char* command = luaL_checkstring(L, 1);
    const char* mode = luaL_optstring(L, 2, "r");
    return pushOpened(L, sandbox_popen(command, mode), "cannot open a process", command);
}

int ioTmpfile(lua_State* L) { return pushOpened(L, sandbox_tmpfile(), "cannot open a temporary file", nullptr); }

// ---- file methods ----

int fileClose(lua_State* L) { return closeScriptFile(L, 1); }

int fileRead(lua_State* L) { return readFormats(L, openHandle(L, 1), 2); }

int fileWrite(lua_State* L) { return writeValues(L, openHandle(L, 1), 2, 1); }

int fileLines(lua_State* L)
{
    openHandle(L, 1);
    pushLineIterator(L, 1, 2, false);
    return 1;
}

int fileFlush(lua_State* L) { return pushResult(L, sandbox_fflush(openHandle(L, 1)) == 0, "flush failed"); }

int fileSeek(lua_State* L)
{
    static const int origins[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    static const char* const names[] = {"set", "cur", "end", nullptr};
    FILE* handle = openHandle(L, 1);
    const int origin = luaL_checkoption(L, 2, "cur", names);
    const long offset = long(luaL_optinteger(L, 3, 0));
    if (sandbox_fseek(handle, offset, origins[origin]) != 0)
        return pushFailure(L, "seek failed", nullptr);
    lua_pushinteger(L, lua_Integer(sandbox_ftell(handle)));
    return 1;
}

int fileSetvbuf(lua_State* L)
{
    static const int modes[] = {_IONBF, _IOFBF, _IOLBF};
    static const char* const names[] = {"no", "full", "line", nullptr};
    FILE* handle = openHandle(L, 1);
    const int mode = luaL_checkoption(L, 2, nullptr, names);
    const lua_Integer size = luaL_optinteger(L, 3, LUAL_BUFFERSIZE);
    return pushResult(L, sandbox_setvbuf(handle, nullptr, modes[mode], size_t(size)) == 0, "setvbuf failed");
}

const luaL_Reg kIoFunctions[] = {
    {"close", ioClose},   {"flush", ioFlush}, {"input", ioInput},     {"lines", ioLines},
    {"open", ioOpen},     {"output", ioOutput}, {"popen", ioPopen},   {"read", ioRead},
    {"tmpfile", ioTmpfile}, {"type", ioType}, {"write", ioWrite},     {nullptr, nullptr}};

const luaL_Reg kFileMethods[] = {
    {"close", fileClose}, {"flush", fileFlush}, {"lines", fileLines},     {"read", fileRead},
    {"seek", fileSeek},   {"setvbuf", fileSetvbuf}, {"write", fileWrite}, {nullptr, nullptr}};

void createFileClass(lua_State* L)
{
    luaL_newmetatable(L, kFileClass);
    lua_newtable(L);
    luaL_register(L, nullptr, kFileMethods);
    lua_setfield(L, -2, "__index");
    lua_pushcfunction(L, collectFile);
    lua_setfield(L, -2, "__gc");
    lua_pushcfunction(L, fileToString);
    lua_setfield(L, -2, "__tostring");
    // getmetatable gives this text: a script that could reach the class could give it a finalizer,
    // which the runtime runs with every hook off, where no time budget can stop it.
    lua_pushliteral(L, "file");
    lua_setfield(L, -2, "__metatable");
    lua_pop(L, 1);
}

void addStandardStream(lua_State* L, FILE* stream, const char* name, const char* defaultKey)
{
    pushScriptFile(L, stream, true);
    if (defaultKey) {
        lua_pushvalue(L, -1);
        lua_setfield(L, LUA_REGISTRYINDEX, defaultKey);
    }
    lua_setfield(L, -2, name);
}

} // namespace

void openSandboxIo(lua_State* L)
{
    createFileClass(L);
    lua_newtable(L);
    luaL_register(L, nullptr, kIoFunctions);
    addStandardStream(L, stdin, "stdin", kDefaultInput);
    addStandardStream(L, stdout, "stdout", kDefaultOutput);
    addStandardStream(L, stderr, "stderr", nullptr);
    lua_getglobal(L, "package");
    lua_getfield(L, -1, "loaded");
    lua_pushvalue(L, -3);
    lua_setfield(L, -2, "io");
    lua_pop(L, 2);
    lua_setglobal(L, "io");
}

} // namespace VadiZov
