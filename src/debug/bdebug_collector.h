// The debug-draw collector: line segments, filled triangles, texts, spheres and thick beams in
// world coordinates, filled by an object's Lua (the object's debugdrawer adds its nodes and
// beams, bobject_debug_drawer.h) and sent to the host's HostDebugDraw on request, with the
// static-collision and terrain ground-model views added when their flags are set. What those
// views read the caller of the render hands it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "velkor/types.h"

namespace VadiZov {

class HostDebugDraw;
class GameEngine;
class StaticCollider;
class TerrainBlock;
class GroundModelTable;

struct DebugText {
    static constexpr size_t kCapacity = 64;  // 63 characters and the terminating zero
    float3 position;
    color colour;
    char text[kCapacity] = {};
};

struct DebugSphere {
    float radius = 0.0f;
    float3 centre;
    color colour;
};

struct DebugBeam3d {
    float radius = 0.0f;
    float3 first;
    float3 second;
    color colour;
};

// What a render reads besides the collector, given by its caller: any of them may be null (that
// view is then empty, or the legend is not sent).
struct DebugWorld {
    const StaticCollider* collider = nullptr;
    const TerrainBlock* terrain = nullptr;
    const GroundModelTable* groundModels = nullptr;
    GameEngine* gameEngine = nullptr;
};

// What the scripts' drawing may collect between two clears; a drawing call once one list is full
// is refused with a logged error. Far above a frame of the largest object's beams (20000 points).
constexpr int kMaxDebugLinePoints = 262144;
constexpr int kMaxDebugTrianglePoints = 262144;
constexpr int kMaxDebugTexts = 16384;
constexpr int kMaxDebugSpheres = 16384;
constexpr int kMaxDebugBeams3d = 16384;

class DebugCollector {
public:
    // Scratch capacity of the static-collision view, per pass.
    static constexpr int kCollisionScratch = 60000;
    // Triangles the view selects at most: no pass draws more (the normals pass, two points each).
    static constexpr int kMostSelected = kCollisionScratch / 2;
    // One selected static triangle as the passes draw it.
    struct StaticSelection {
        float3 centroid;
        float3 normal;
        float3 corners[3];  // shrunk towards the centroid and lifted along the normal
    };

    DebugCollector() = default;
    DebugCollector(const DebugCollector&) = delete;
    DebugCollector& operator=(const DebugCollector&) = delete;

    // ---- drawing operations in world coordinates (Lua)
    void drawLine(const float3& a, const float3& b, const color& c);
    void drawSphere(float radius, const float3& centre, const color& c);
    void drawText(const float3& position, const color& c, const char* text);
    // Switches the per-frame clear and debugDraw callback; tells the game engine when there is one.
    void showDebug(bool on);

    // ---- used by the object and the engine
    // Empties the seven lists; flags, focus and scratch stay.
    void clear();
    // Empties the lists and gives their memory and the scratch back (the object's destroy).
    void releaseStorage();
    void addBeam3d(const float3& first, const float3& second, float radius, const color& c);
    // A horizontal square at the centre's height as two triangles.
    void addSquare(const float3& centre, const color& c, float halfSize);

    // Sends everything collected to the host, after adding the views whose flags are set.
    void render(HostDebugDraw& host, const float3& focus, const DebugWorld& world);
    void drawStaticCollision(HostDebugDraw& host, const float3& focus, const StaticCollider* collider);
    void drawTerrainGroundModels(const float3& focus, const DebugWorld& world);

    // ---- state (Lua data members: drawCollisionTris, drawTerrainDebug, lastFocusPos)
    bool enabled = false;
    bool drawCollisionTris = false;
    bool drawTerrainDebug = false;
    float3 lastFocusPos;

    std::vector<float3> linePoints;
    std::vector<color> lineColors;
    std::vector<float3> trianglePoints;
    std::vector<color> triangleColors;
    std::vector<DebugText> texts;
    std::vector<DebugSphere> spheres;
    std::vector<DebugBeam3d> beams3d;

protected:
    // Whether a label at position is within maxDistance of the last focus (0 or less: any).
    bool passesDistanceFilter(const float3& position, float maxDistance) const;
    void appendText(const float3& position, const color& c, const char* text);

private:
    void allocateCollisionScratch();
    // Takes the previous render's terrain grid out of the lists, if nothing emptied them since.
    void dropPreviousTerrainGrid();

    std::unique_ptr<float3[]> collisionVertexScratch_;
    std::unique_ptr<color[]> collisionColorScratch_;
    std::unique_ptr<StaticSelection[]> collisionSelection_;  // made with the scratch

    // Where the last render's terrain grid sits in the line and triangle lists; valid until the
    // lists are emptied. While the collector is disabled nothing else empties them, so the next
    // render replaces that grid instead of adding one more.
    struct ListRange {
        size_t begin = 0, end = 0;
    };
    bool terrainGridKept_ = false;
    ListRange terrainLines_, terrainTriangles_;
};

// Ground-model name as text inside a single-quoted JavaScript string: quotes, backslashes, line
// breaks and other control characters cannot end the string or the script.
std::string escapeForJavaScriptString(const char* text);

// The legend line of one ground model, as the user interface's updateGroundModelDebug takes it.
std::string groundModelLegendScript(int groundModel, const char* name);

} // namespace VadiZov
