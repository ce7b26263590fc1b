// Lua surface of debug drawing: the collector's drawing members and the object's debugDrawProxy.
#include "base/blog.h"
#include "debug/bdebug_drawer.h"
#include "lua/api/blua_api.h"
#include "lua/binding/blua_binding.h"
#include "object/bobject.h"

namespace VadiZov {

namespace {

debugdrawer* readDebugDrawProxy(const BeamObjectImpl& object) { return object.debugDrawProxy; }

// nil switches drawing off for the object without freeing its collector. Another object's
// collector is refused: this object could outlive it.
void writeDebugDrawProxy(BeamObjectImpl& object, debugdrawer* proxy)
{
    if (proxy && proxy != object.ownDebugDrawer()) {
        logError("debugDrawProxy: only nil or the object's own collector can be set");
        return;
    }
    object.debugDrawProxy = proxy;
}

} // namespace

void addDebugDrawerMembers(LuaBinding::Class<debugdrawer>& c)
{
    c.addFunction("drawNodeLine", &debugdrawer::drawNodeLine)
        .addFunction("drawLine", &debugdrawer::drawLine)
        .addFunction("drawBeamAlpha", &debugdrawer::drawBeamAlpha)
        .addFunction("drawBeamColor", &debugdrawer::drawBeamColor)
        .addFunction("drawBeam", &debugdrawer::drawBeam)
        .addFunction("drawBeam3d", &debugdrawer::drawBeam3d)
        .addFunction("drawBeams", &debugdrawer::drawBeams)
        .addFunction("drawText", &debugdrawer::drawText)
        .addFunction("drawNodeText", &debugdrawer::drawNodeText)
        .addFunction("drawNodeTextWithOffset", &debugdrawer::drawNodeTextWithOffset)
        .addFunction("drawNodeNumbers", &debugdrawer::drawNodeNumbers)
        .addFunction("showDebug", &debugdrawer::showDebug)
        .addFunction("drawColTris", &debugdrawer::drawColTris)
        .addFunction("drawSphere", &debugdrawer::drawSphere)
        .addFunction("drawNodeSphere", &debugdrawer::drawNodeSphere)
        .addProperty("drawCollisionTris", &debugdrawer::drawCollisionTris)
        .addProperty("drawTerrainDebug", &debugdrawer::drawTerrainDebug)
        .addProperty("lastFocusPos", &debugdrawer::lastFocusPos);
}

void addObjectDebugMembers(LuaBinding::Class<BeamObjectImpl>& c)
{
    c.addProperty("debugDrawProxy", &readDebugDrawProxy, &writeDebugDrawProxy);
}

} // namespace VadiZov
