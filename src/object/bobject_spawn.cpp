// Loading an object: its init.lua (or the default script) runs, its callbacks are cached, init
// is called and the object is placed.
#include <cstdio>
#include <string>

#include "base/bglobals.h"
#include "object/bobject_debug_drawer.h"
#include "base/blog.h"
#include "lua/blua.h"
#include "lua/blua_limits.h"
#include "object/bobject.h"
#include "object/bobject_lua_script.h"
#include "velkor/host.h"

namespace VadiZov {

namespace {

constexpr const char* kDefaultObjectScript = "lua/vehicle/default.lua";
constexpr size_t kPathCapacity = 1024;  // 1023 characters and the terminator

} // namespace

void BeamObjectImpl::spawnVehicle(const char* dir, Vector3 position, Quaternion rotation)
{
    dir = dir ? dir : "";
    Lua& state = lua();
    char path[kPathCapacity];
    const int length = std::snprintf(path, sizeof path, "%s/init.lua", dir);
    if (length < 0 || size_t(length) >= sizeof path) {
        logFormat(LOG_ERROR, "spawnVehicle: directory name too long: %.64s...", dir);
        return;
    }
    const char* script = g_fileSystem && g_fileSystem->fileExists(path) ? path : kDefaultObjectScript;
    // A script that could not even be opened has already said why; calling its missing init
    // would only add "attempt to call a nil value".
    bool loaded = false;
    {
        const LuaCallBudget budget(state.guard(), script, luaLimits().initSeconds);
        loaded = state.exec(script) >= 0;
    }

    char name[32];
    std::snprintf(name, sizeof name, "V%d", id);
    state.setName(name);

    luaScript().cacheCallbacks();

    if (!loaded) {
        logFormat(LOG_ERROR, "spawnVehicle: %s could not be read: the object's init is not called", script);
    } else {
        std::string error;
        const LuaCallBudget budget(state.guard(), "init", luaLimits().initSeconds);
        if (!callLuaFunction("init", dir, error))
            logFormat(LOG_ERROR, "spawnVehicle: got exception: %s", error.c_str());
    }

    static_cast<BeamObject*>(this)->resetTransformation(position, rotation);
    // Placed now: the next Lua update must not reset the object for this rotation.
    rotationChanged = false;
    applyTransformation(rotation);
}

void BeamObjectImpl::renderDebug(HostDebugDraw* draw, float3 focus, const DebugWorld& world)
{
    if (draw && debugDrawProxy)
        debugDrawProxy->render(*draw, focus, world);
}

} // namespace VadiZov
