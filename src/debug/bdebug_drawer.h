// The object's debug-draw collector: line segments, filled triangles, texts, spheres and thick
// beams in world coordinates, filled by the object's Lua (Lua class debugdrawer) and sent to the
// host's HostDebugDraw on request, with the static-collision and terrain ground-model views added
// when their flags are set.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "velkor/types.h"

namespace VadiZov {

class BeamObjectImpl;
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

// What a render reads besides the collector: any of them may be null (that view is then empty,
// or the legend is not sent).
struct DebugWorld {
    const StaticCollider* collider = nullptr;
    const TerrainBlock* terrain = nullptr;
    const GroundModelTable* groundModels = nullptr;
    GameEngine* gameEngine = nullptr;

    // The engine singleton's collider and terrain, the process's ground-model table and game engine.
    static DebugWorld current();
};

// What the scripts' drawing may collect between two clears; a drawing call once one list is full
// is refused with a logged error. Far above a frame of the largest object's beams (20000 points).
constexpr int kMaxDebugLinePoints = 262144;
constexpr int kMaxDebugTrianglePoints = 262144;
constexpr int kMaxDebugTexts = 16384;
constexpr int kMaxDebugSpheres = 16384;
constexpr int kMaxDebugBeams3d = 16384;

class debugdrawer {
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
    // Each grid point of the terrain view appends this many line and triangle points.

    explicit debugdrawer(BeamObjectImpl& owner);
    debugdrawer(const debugdrawer&) = delete;
    debugdrawer& operator=(const debugdrawer&) = delete;

    // ---- drawing operations (Lua); invalid ids append nothing
    void drawLine(const float3& a, const float3& b, const color& c);
    void drawNodeLine(int node1, int node2, const color& c);
    void drawBeamColor(int beam, const color& c);
    void drawBeamAlpha(int beam, int alpha);
    void drawBeam(int beam);
    // Mode 1 skips broken beams, mode 3 takes only them, any other mode takes every beam.
    void drawBeams(int mode);
    void drawBeam3d(int beam, float radius, const color& c);
    void drawSphere(float radius, const float3& centre, const color& c);
    void drawNodeSphere(int node, float radius, const color& c);
    void drawText(const float3& position, const color& c, const char* text);
    void drawNodeText(int node, const color& c, const char* text, float maxDistance);
    void drawNodeTextWithOffset(int node, const color& c, const float3& offset, const char* text, float maxDistance);
    void drawNodeNumbers(const color& c, float maxDistance);
    // Mode 0 only: every intact collision triangle as three edges, then as a face.
    void drawColTris(int mode, const color& edge, const color& face);
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
    void render(HostDebugDraw& host, const float3& focus);
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

    const BeamObjectImpl& owner() const { return owner_; }

private:
    bool validNode(int node) const;
    bool validBeam(int beam) const;
    const float3& nodePosition(int node) const;
    bool passesDistanceFilter(const float3& position, float maxDistance) const;
    void appendText(const float3& position, const color& c, const char* text);
    void allocateCollisionScratch();
    // Takes the previous render's terrain grid out of the lists, if nothing emptied them since.
    void dropPreviousTerrainGrid();

    BeamObjectImpl& owner_;
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
