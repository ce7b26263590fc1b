#include "lua/api/blua_host_handles.h"

#include <mutex>
#include <unordered_map>
#include <vector>

#include "base/blifetime.h"
#include "velkor/host.h"

namespace VadiZov {

namespace {

struct HandleRecord {
    lua_State* owner;
    HostHandleKind kind;
    void* giver;
};

struct HeldCounts {
    int byKind[3] = {};
};

// States run on the host thread and on core threads at once.
struct HandleRegistry {
    std::mutex mutex;
    std::unordered_map<void*, HandleRecord> handles;
    std::unordered_map<lua_State*, HeldCounts> counts;
};

HandleRegistry& registry()
{
    static HandleRegistry instance;
    return instance;
}

const char s_ownerKey = 0;

void giveBack(void* object, const HandleRecord& record)
{
    switch (record.kind) {
    case HostHandleKind::File:
        static_cast<FilePure*>(object)->close();
        break;
    case HostHandleKind::Directory:
        if (record.giver)
            static_cast<FS*>(record.giver)->closeDirectory(static_cast<FSDirectory*>(object));
        break;
    case HostHandleKind::Sound:
        if (record.giver)
            static_cast<GameEngine*>(record.giver)->deleteSFXSource(static_cast<SFXSource*>(object), true);
        break;
    }
}

// The finaliser of the state's owner record: runs when the state is closed (the registry keeps the
// record alive until then). Files and directories still open are closed by their own finalisers;
// whichever comes first gives a handle back.
int releaseAtClose(lua_State* L)
{
    lua_State* owner = *static_cast<lua_State**>(lua_touserdata(L, 1));
    std::vector<std::pair<void*, HandleRecord>> held;
    {
        HandleRegistry& r = registry();
        std::lock_guard<std::mutex> guard(r.mutex);
        for (auto it = r.handles.begin(); it != r.handles.end();) {
            if (it->second.owner != owner) {
                ++it;
                continue;
            }
            held.emplace_back(it->first, it->second);
            it = r.handles.erase(it);
        }
        r.counts.erase(owner);
    }
    // Given back outside the lock: the host may log, and logging may reach another state.
    for (const auto& [object, record] : held) {
        endLifetime(object);
        giveBack(object, record);
    }
    return 0;
}

} // namespace

namespace {

int hostFilesOf(lua_State* L) { return heldHostHandles(handleOwnerOf(L), HostHandleKind::File); }

struct InstallHostFileCount {
    InstallHostFileCount() { setLuaHostFileCount(&hostFilesOf); }
};
const InstallHostFileCount installHostFileCount;

} // namespace

void prepareHostHandles(lua_State* L)
{
    lua_pushlightuserdata(L, const_cast<char*>(&s_ownerKey));
    *static_cast<lua_State**>(lua_newuserdata(L, sizeof(lua_State*))) = L;
    lua_newtable(L);
    lua_pushcfunction(L, releaseAtClose);
    lua_setfield(L, -2, "__gc");
    lua_setmetatable(L, -2);
    lua_rawset(L, LUA_REGISTRYINDEX);
}

lua_State* handleOwnerOf(lua_State* L)
{
    lua_pushlightuserdata(L, const_cast<char*>(&s_ownerKey));
    lua_rawget(L, LUA_REGISTRYINDEX);
    auto* slot = static_cast<lua_State**>(lua_touserdata(L, -1));
    lua_State* owner = slot ? *slot : L;
    lua_pop(L, 1);
    return owner;
}

int heldHostHandles(lua_State* owner, HostHandleKind kind)
{
    HandleRegistry& r = registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    const auto found = r.counts.find(owner);
    return found == r.counts.end() ? 0 : found->second.byKind[int(kind)];
}

uint64_t beginHostHandle(lua_State* owner, HostHandleKind kind, void* object, void* giver)
{
    HandleRegistry& r = registry();
    {
        std::lock_guard<std::mutex> guard(r.mutex);
        // A host that hands out one object twice gets it counted once.
        if (r.handles.emplace(object, HandleRecord{owner, kind, giver}).second)
            ++r.counts[owner].byKind[int(kind)];
    }
    return beginLifetime(object);
}

bool endHostHandle(void* object, void** giver)
{
    HandleRegistry& r = registry();
    {
        std::lock_guard<std::mutex> guard(r.mutex);
        const auto found = r.handles.find(object);
        if (found == r.handles.end())
            return false;
        if (giver)
            *giver = found->second.giver;
        auto counts = r.counts.find(found->second.owner);
        if (counts != r.counts.end())
            --counts->second.byKind[int(found->second.kind)];
        r.handles.erase(found);
    }
    endLifetime(object);
    return true;
}

} // namespace VadiZov
