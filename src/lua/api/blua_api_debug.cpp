// Lua surface of debug drawing: the collector's drawing members and the object's debugDrawProxy.
// What scripts draw is collected only while debug drawing is on (the per-frame clear then keeps
// the lists bounded), only on the host thread (the host renders the lists while a frame runs), and
// only up to the collector's capacities.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "base/blog.h"
#include "base/bscript_values.h"
#include "object/bobject_debug_drawer.h"
#include "lua/api/blua_api.h"
#include "lua/api/blua_host_field.h"
#include "lua/binding/blua_binding.h"
#include "object/bobject.h"
#include "base/bphysics_thread.h"

namespace VadiZov {

namespace {

constexpr char kCollector[] = "debugdrawer";

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

// What one drawing call may add to each list, at most: checked before the call, so no list
// overshoots its capacity, and only the lists the call adds to are checked.
struct Need {
    size_t linePoints = 0;
    size_t trianglePoints = 0;
    size_t texts = 0;
    size_t spheres = 0;
    size_t beams3d = 0;
};

bool roomInCollector(const debugdrawer& d, const char* member, const Need& need)
{
    const struct {
        size_t used, adding;
        int capacity;
        const char* what;
    } lists[] = {
        {d.linePoints.size(), need.linePoints, kMaxDebugLinePoints, "line points"},
        {d.trianglePoints.size(), need.trianglePoints, kMaxDebugTrianglePoints, "triangle points"},
        {d.texts.size(), need.texts, kMaxDebugTexts, "texts"},
        {d.spheres.size(), need.spheres, kMaxDebugSpheres, "spheres"},
        {d.beams3d.size(), need.beams3d, kMaxDebugBeams3d, "3-D beams"},
    };
    for (const auto& list : lists) {
        if (list.adding > 0 && list.used + list.adding > size_t(list.capacity)) {
            logFormat(LOG_ERROR, "*** debugdrawer.%s: no room for more than %d %s, refused", member, list.capacity,
                      list.what);
            return false;
        }
    }
    return true;
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
bool collecting(const debugdrawer& d, const char* member, const Need& need)
{
    return !refuseOnPhysicsThread(kCollector, member) && d.enabled && roomInCollector(d, member, need);
}

constexpr Need kOneLine{2, 0, 0, 0, 0};
constexpr Need kOneText{0, 0, 1, 0, 0};
constexpr Need kOneSphere{0, 0, 0, 1, 0};
constexpr Need kOneBeam3d{0, 0, 0, 0, 1};

// The calls that draw the whole object: as many entries as it has beams, nodes or triangles.
Need allBeams(const debugdrawer& d) { return {2 * size_t(std::clamp(d.owner().beam_count, 0, kMaxBeams)), 0, 0, 0, 0}; }
Need allNodes(const debugdrawer& d) { return {0, 0, size_t(std::clamp(d.owner().node_count, 0, kMaxNodes)), 0, 0}; }
Need allTriangles(const debugdrawer& d)
{
    const size_t triangles = d.owner().collisionTriangles.size();
    return {6 * triangles, 3 * triangles, 0, 0, 0};
}

// Each drawing member as Lua calls it: the gate, then the collector's own operation.
template <auto Member, const char* Name, Need (*NeedOf)(const debugdrawer&)>
struct Gated;

template <class... A, void (debugdrawer::*Member)(A...), const char* Name, Need (*NeedOf)(const debugdrawer&)>
struct Gated<Member, Name, NeedOf> {
    static void call(debugdrawer& d, A... args)
    {
        if (collecting(d, Name, NeedOf(d)))
            (d.*Member)(args...);
    }
};

Need oneLine(const debugdrawer&) { return kOneLine; }
Need oneText(const debugdrawer&) { return kOneText; }

// Points and radii go to the host's drawing as they are: NaN would reach it.
void drawLine(debugdrawer& d, const float3& a, const float3& b, const color& c)
{
    if (collecting(d, "drawLine", kOneLine) && finitePoints("drawLine", {a, b}))
        d.drawLine(a, b, c);
}

void drawSphere(debugdrawer& d, float radius, const float3& centre, const color& c)
{
    if (collecting(d, "drawSphere", kOneSphere) && finitePoints("drawSphere", {centre}) &&
        acceptNumber("debugdrawer.drawSphere", "radius", radius, kMaxScriptCoordinate))
        d.drawSphere(radius, centre, c);
}

void drawNodeSphere(debugdrawer& d, int node, float radius, const color& c)
{
    if (collecting(d, "drawNodeSphere", kOneSphere) &&
        acceptNumber("debugdrawer.drawNodeSphere", "radius", radius, kMaxScriptCoordinate))
        d.drawNodeSphere(node, radius, c);
}

void drawBeam3d(debugdrawer& d, int beam, float radius, const color& c)
{
    if (collecting(d, "drawBeam3d", kOneBeam3d) && acceptNumber("debugdrawer.drawBeam3d", "radius", radius, kMaxScriptCoordinate))
        d.drawBeam3d(beam, radius, c);
}

void drawText(debugdrawer& d, const float3& position, const color& c, const char* text)
{
    if (collecting(d, "drawText", kOneText) && finitePoints("drawText", {position}))
        d.drawText(position, c, text);
}

void drawNodeTextWithOffset(debugdrawer& d, int node, const color& c, const float3& offset, const char* text,
                            float maxDistance)
{
    if (collecting(d, "drawNodeTextWithOffset", kOneText) && finitePoints("drawNodeTextWithOffset", {offset}))
        d.drawNodeTextWithOffset(node, c, offset, text, maxDistance);
}

// Switching drawing on or off reaches the game engine and the host's render: host thread only.
void showDebug(debugdrawer& d, bool on)
{
    if (!refuseOnPhysicsThread("debugdrawer.showDebug"))
        d.showDebug(on);
}

// The render reads these while a frame runs.
template <class V, V DebugCollector::*Member, const char* Name>
void addFlag(LuaBinding::Class<debugdrawer>& c)
{
    addHostField<debugdrawer, DebugCollector, V, Member, kCollector, Name>(c);
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
    c.addFunction("drawNodeLine", &Gated<&debugdrawer::drawNodeLine, kDrawNodeLine, oneLine>::call)
        .addFunction("drawLine", &drawLine)
        .addFunction("drawBeamAlpha", &Gated<&debugdrawer::drawBeamAlpha, kDrawBeamAlpha, oneLine>::call)
        .addFunction("drawBeamColor", &Gated<&debugdrawer::drawBeamColor, kDrawBeamColor, oneLine>::call)
        .addFunction("drawBeam", &Gated<&debugdrawer::drawBeam, kDrawBeam, oneLine>::call)
        .addFunction("drawBeam3d", &drawBeam3d)
        .addFunction("drawBeams", &Gated<&debugdrawer::drawBeams, kDrawBeams, allBeams>::call)
        .addFunction("drawText", &drawText)
        .addFunction("drawNodeText", &Gated<&debugdrawer::drawNodeText, kDrawNodeText, oneText>::call)
        .addFunction("drawNodeTextWithOffset", &drawNodeTextWithOffset)
        .addFunction("drawNodeNumbers", &Gated<&debugdrawer::drawNodeNumbers, kDrawNodeNumbers, allNodes>::call)
        .addFunction("showDebug", &showDebug)
        .addFunction("drawColTris", &Gated<&debugdrawer::drawColTris, kDrawColTris, allTriangles>::call)
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
