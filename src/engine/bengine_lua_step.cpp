// The engine's system Lua state, stepped once per host frame on the host thread: reload when
// asked, queued command strings, queued files, graphicsStep(dt), one garbage-collection step.
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "engine/bengine.h"
#include "base/blog.h"
#include "lua/blua.h"
#include "lua/blua_error_text.h"

namespace VadiZov {

namespace {
constexpr const char* kSystemStateName = "S0";
constexpr const char* kSystemStartScript = "lua/system/main.lua";
constexpr const char* kCommandChunkName = "engine";
} // namespace

void BeamEngineImpl::reloadSystemLua()
{
    delete systemLua_;
    systemLua_ = nullptr;
    // The old reference died with the old state: releasing it now would free a slot of the new
    // state's registry.
    graphicsStepRef_ = -1;

    systemLua_ = new (std::nothrow) Lua(kSystemStateName);
    if (!systemLua_)
        return;
    systemLua_->initialize(nullptr, kSystemStartScript);
    if (!systemLua_->state())
        return;
    graphicsStepRef_ = systemLua_->referenceGlobal("graphicsStep");  // nil gives a negative reference
    if (graphicsStepRef_ < 0)
        logFormat(LOG_WARN, "Lua function '%s' not found.", "graphicsStep");
}

void BeamEngineImpl::luaStep(float dt)
{
    if (reloadLua_) {
        reloadSystemLua();
        reloadLua_ = false;
    }

    // The queues are swapped out under the lock and run without it: a command that queues
    // another (an engine event, for example) appends to the fresh queue, which runs next frame.
    std::vector<std::string> commands;
    std::vector<std::string> files;
    {
        platform::CriticalSectionGuard guard(queueLock_);
        commands.swap(queuedCommands_);
        files.swap(queuedFiles_);
        queuedCommandBytes_ = 0;
        queuedFileBytes_ = 0;
    }
    if (!systemLua_ || !systemLua_->state())
        return;
    Lua& lua = *systemLua_;

    for (const std::string& command : commands)
        lua.executeChunk(command.data(), command.size(), kCommandChunkName);
    for (const std::string& path : files)
        lua.exec(path.c_str());

    // Protected and with the call's time budget: a graphicsStep that runs out of time is dropped.
    std::string error;
    if (graphicsStepRef_ >= 0 &&
        !lua.callReference(graphicsStepRef_, "graphicsStep", 1, [dt](lua_State* L) { lua_pushnumber(L, dt); }, error))
        logMessage(LOG_ERROR, error.c_str(), true);
    lua.updateCore();
}

} // namespace VadiZov
