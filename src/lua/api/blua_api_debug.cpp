// Lua surface of debug drawing: the collector's drawing members and the object's debugDrawProxy.
// What scripts draw is collected only while debug drawing is on (the per-frame clear then keeps
// the lists bounded), only on the host thread (the host renders the lists while a frame runs), and
// only up to the collector's capacities.
#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "base/blog.h"
#include "base/bscript_values.h"
#include "object/bobject_debug_drawer.h"
#include "lua/api/blua_api.h"
#include "lua/binding/blua_binding.h"
#include "object/bobject.h"
#include "base/bphysics_thread.h"

namespace VadiZov {

namespace {

constexpr const char* kCollector = "debugdrawer";

debugdrawer* readDebugDrawProxy(const BeamObjectImpl& object) { return object.debugDrawProxy; }

// nil switches drawing off for the object without freeing its collector. Another object's
// collector is refused: this object could outlive it.
void writeDebugDrawProxy(BeamObjectImpl& object, debugdrawer* proxy)
{
    if (refuseOnPhysicsThread("debugDrawProxy"))
        return;
    if (proxy && proxy != object.ownDebugDrawer()) {
        logError("debugDrawProxy: only nil or the object's own collector can be set");
        return;
    }
    object.debugDrawProxy = proxy;
}

bool roomInCollector(const debugdrawer& d)
{
    return roomFor(kCollector, d.linePoints.size(), kMaxDebugLinePoints, "line points") &&
           roomFor(kCollector, d.trianglePoints.size(), kMaxDebugTrianglePoints, "triangle points") &&
           roomFor(kCollector, d.texts.size(), kMaxDebugTexts, "texts") &&
           roomFor(kCollector, d.spheres.size(), kMaxDebugSpheres, "spheres") &&
           roomFor(kCollector, d.beams3d.size(), kMaxDebugBeams3d, "3-D beams");
}

bool finitePoints(const char* member, std::initializer_list<float3> points)
{
    for (const float3& p : points) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            logFormat(LOG_ERROR, "*** debugdrawer.%s: a point that is not finite, ignored", member);
            return false;
        }
    }
    return true;
}

// The common gate of every drawing member.
bool collecting(const debugdrawer& d, const char* member)
{
    if (onPhysicsThread()) {
        logFormat(LOG_ERROR, "*** debugdrawer.%s: refused on a physics thread", member);
        return false;
    }
    return d.enabled && roomInCollector(d);
}

// Each drawing member as Lua calls it: the gate, then the collector's own operation.
template <auto Member, const char* Name>
struct Gated;

template <class... A, void (debugdrawer::*Member)(A...), const char* Name>
struct Gated<Member, Name> {
    static void call(debugdrawer& d, A... args)
    {
        if (collecting(d, Name))
            (d.*Member)(args...);
    }
};

// Points and radii go to the host's drawing as they are: NaN would reach it.
void drawLine(debugdrawer& d, const float3& a, const float3& b, const color& c)
{
    if (collecting(d, "drawLine") && finitePoints("drawLine", {a, b}))
        d.drawLine(a, b, c);
}

void drawSphere(debugdrawer& d, float radius, const float3& centre, const color& c)
{
    if (collecting(d, "drawSphere") && finitePoints("drawSphere", {centre}) &&
        acceptNumber("debugdrawer.drawSphere", "radius", radius, kMaxScriptCoordinate))
        d.drawSphere(radius, centre, c);
}

void drawNodeSphere(debugdrawer& d, int node, float radius, const color& c)
{
    if (collecting(d, "drawNodeSphere") &&
        acceptNumber("debugdrawer.drawNodeSphere", "radius", radius, kMaxScriptCoordinate))
        d.drawNodeSphere(node, radius, c);
}

void drawBeam3d(debugdrawer& d, int beam, float radius, const color& c)
{
    if (collecting(d, "drawBeam3d") && acceptNumber("debugdrawer.drawBeam3d", "radius", radius, kMaxScriptCoordinate))
        d.drawBeam3d(beam, radius, c);
}

void drawText(debugdrawer& d, const float3& position, const color& c, const char* text)
{
    if (collecting(d, "drawText") && finitePoints("drawText", {position}))
        d.drawText(position, c, text);
}

void drawNodeTextWithOffset(debugdrawer& d, int node, const color& c, const float3& offset, const char* text,
                            float maxDistance)
{
    if (collecting(d, "drawNodeTextWithOffset") && finitePoints("drawNodeTextWithOffset", {offset}))
        d.drawNodeTextWithOffset(node, c, offset, text, maxDistance);
}

// Switching drawing on or off reaches the game engine and the host's render: host thread only.
void showDebug(debugdrawer& d, bool on)
{
    if (!refuseOnPhysicsThread("debugdrawer.showDebug"))
        d.showDebug(on);
}

template <class V, V DebugCollector::*Member>
V readFlag(const debugdrawer& d)
{
    return d.*Member;
}

// The render reads these while a frame runs.
template <class V, V DebugCollector::*Member, const char* Name>
void writeFlag(debugdrawer& d, V value)
{
    if (onPhysicsThread()) {
        logFormat(LOG_ERROR, "*** debugdrawer.%s: refused on a physics thread", Name);
        return;
    }
    d.*Member = value;
}

template <class V, V DebugCollector::*Member, const char* Name>
void addFlag(LuaBinding::Class<debugdrawer>& c)
{
    c.addProperty(Name, &readFlag<V, Member>, &writeFlag<V, Member, Name>);
}

constexpr char kDrawNodeLine[] = "drawNodeLine";
constexpr char kDrawBeamAlpha[] = "drawBeamAlpha";
constexpr char kDrawBeamColor[] = "drawBeamColor";
constexpr char kDrawBeam[] = "drawBeam";
constexpr char kDrawBeams[] = "drawBeams";
constexpr char kDrawNodeText[] = "drawNodeText";
constexpr char kDrawNodeNumbers[] = "drawNodeNumbers";
constexpr char kDrawColTris[] = "drawColTris";
constexpr char kDrawCollisionTris[] = "drawCollisionTris";
constexpr char kDrawTerrainDebug[] = "drawTerrainDebug";
constexpr char kLastFocusPos[] = "lastFocusPos";

} // namespace

void addDebugDrawerMembers(LuaBinding::Class<debugdrawer>& c)
{
    c.addFunction("drawNodeLine", &Gated<&debugdrawer::drawNodeLine, kDrawNodeLine>::call)
        .addFunction("drawLine", &drawLine)
        .addFunction("drawBeamAlpha", &Gated<&debugdrawer::drawBeamAlpha, kDrawBeamAlpha>::call)
        .addFunction("drawBeamColor", &Gated<&debugdrawer::drawBeamColor, kDrawBeamColor>::call)
        .addFunction("drawBeam", &Gated<&debugdrawer::drawBeam, kDrawBeam>::call)
        .addFunction("drawBeam3d", &drawBeam3d)
        .addFunction("drawBeams", &Gated<&debugdrawer::drawBeams, kDrawBeams>::call)
        .addFunction("drawText", &drawText)
        .addFunction("drawNodeText", &Gated<&debugdrawer::drawNodeText, kDrawNodeText>::call)
        .addFunction("drawNodeTextWithOffset", &drawNodeTextWithOffset)
        .addFunction("drawNodeNumbers", &Gated<&debugdrawer::drawNodeNumbers, kDrawNodeNumbers>::call)
        .addFunction("showDebug", &showDebug)
        .addFunction("drawColTris", &Gated<&debugdrawer::drawColTris, kDrawColTris>::call)
        .addFunction("drawSphere", &drawSphere)
        .addFunction("drawNodeSphere", &drawNodeSphere);
    addFlag<bool, &debugdrawer::drawCollisionTris, kDrawCollisionTris>(c);
    addFlag<bool, &debugdrawer::drawTerrainDebug, kDrawTerrainDebug>(c);
    addFlag<float3, &debugdrawer::lastFocusPos, kLastFocusPos>(c);
}

void addObjectDebugMembers(LuaBinding::Class<BeamObjectImpl>& c)
{
    c.addProperty("debugDrawProxy", &readDebugDrawProxy, &writeDebugDrawProxy);
}

} // namespace VadiZov
