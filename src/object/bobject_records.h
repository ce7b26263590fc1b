// The plain records of one soft body, and BeamObjectRecords, the set of them the physics
// threads read and write: the solver, contact and thread layers see an object through this
// header only. The solver walks the node and beam arrays in index order every substep, so the
// per-substep fields (NodeCore, BeamCore) are kept apart from the rarely touched ones
// (NodeProperties, BeamParams, BeamOrigin). Every record is an aggregate whose
// value-initialisation is all zeros.
#pragma once

#include <cstdint>
#include <vector>

#include "base/bconstants.h"
#include "object/bobject_frame_queues.h"
#include "velkor/types.h"

namespace VadiZov {

constexpr int16_t kNoWheel = kMaxWheels;  // wheelId of a node that belongs to no wheel
// Pressure-group constants: the ambient pressure and g, both divided by 6.
constexpr float kGroupAmbient = 16887.5f;
constexpr float kGroupHydroFactor = 1.6344417f;
constexpr float kOneSixth = 0.16666667f;

enum BeamType : int16_t {
    BEAM_NORMAL = 0,
    BEAM_ANISOTROPIC = 1,
    BEAM_BOUNDED = 2,
    BEAM_PRESSURED = 3,
    BEAM_BROKEN = 4,
    BEAM_HYDRO = 5,
    BEAM_SUPPORT = 6,
};

// The beam loop reads a node as one 32-byte row: position and velocity, each with a float
// beside it (the kernels compute those lanes and never store them). 80 bytes, 16-aligned: a
// 32-byte alignment would round the record up to 96 bytes, which measured slower.
struct alignas(16) NodeCore {
    float3 pos;  // position in the floating frame
    float dtOverMass;
    float3 vel;
    float gravityForce;
    float3 force;  // accumulated during a substep
    int16_t collisionId;  // nodes with equal ids do not hit each other's triangles
    uint8_t collides;
    float3 lastStaticQueryPos;  // worldPos at the last static-collider query
    float3 worldPos;  // pos + the object's originOffset; the wide integration also writes the padding after it
};

struct NodeProperties {
    float massOverDt;
    float mediumDensity;
    float volume;
    float surfaceCoef;
    float friction;
    int material;
    int tireMarkPartner;  // -1 none
    float3 lastTireMarkPos;
    float3 spawnPos;  // position as built; reset starts from it
    float mass;
    float waterSurfaceZ;
    int16_t wheelId;
    uint8_t triangleCollides;
};

struct BeamCore {
    int16_t node1, node2;
    float restLength;
    float spring;
    float damp;
    float limitForce;  // above it the solver lets the beam deform
    int16_t type;      // BeamType
};

// What p0 to p7 hold per beam type: the beam handles (bbeam_handles.cpp) write them, the beam
// law (bbeam_forces.cpp) reads them. A normal beam uses none; setBeam starts every beam at p0 1,
// p1 1, p2 9e6, p3 12000, p4 its spring, p5 its capped damping; pmax is makePressured's maximum
// pressure.
//
// | p  | anisotropic                    | bounded                               | pressured                           |
// | -- | ------------------------------ | ------------------------------------- | ----------------------------------- |
// | p0 | max stretch, refLength x ratio | long bound, a fraction of restLength  | volume coefficient                  |
// | p1 | -                              | short bound, a fraction of restLength | pressure x refLength x area         |
// | p2 | -                              | limit spring                          | (1 - volume coef.) x refLength      |
// | p3 | -                              | limit damping (capped)                | area x atmospheric pressure         |
// | p4 | spring in extension            | slow damping, shortening (capped)     | -                                   |
// | p5 | damping in extension (capped)  | slow damping, lengthening (capped)    | -                                   |
// | p6 | -                              | fast damping, shortening (capped)     | area                                |
// | p7 | -                              | fast damping, lengthening (capped)    | break force: area x pmax - p3, >= 0 |
//
// A bounded beam's BeamCore::damp holds its cut-off speed between slow and fast damping; a
// pressured beam's p7 also caps its limitForce. BeamOrigin keeps a pressured beam's p1 and p7
// as built.
struct BeamParams {
    float p0, p1, p2, p3, p4, p5, p6, p7;
    float strength;
    float deformCompress;  // positive
    float deformTension;   // negative
    float deformTriggerRatio;
    float refLength;
    float lastNotifiedLength;
};

// The beam as built; reset copies it back.
struct BeamOrigin {
    float basePressure;
    float p1;
    float deformTriggerRatio;
    float strength;
    float p7;
    float deformCompress;
    float deformTension;
    float limitForce;
    float restLength;
    uint8_t type;
};

struct CollisionTriangle {
    int16_t node1, node2, node3;
    int16_t skip;  // substeps left before the next candidate search
    float3 normal;
    float invNormLen;
    float dragCoef;
    uint8_t broken;
    int8_t pressureGroup;  // -1 none
    uint8_t radiusSteps;
    uint8_t groundModelId;
};

struct PressureGroup {
    float pressure;
    float ambient;
    float hydroFactor;
    float amount;
    float area;      // twice the triangles' area, summed
    float baseArea;  // the same sum as built
    float basePressure;
};

struct wheelData {
    NodeCore* axisNode1;
    NodeCore* axisNode2;
    NodeCore* thirdNode;        // null when none
    NodeCore* nearAxisToThird;  // null without a third node
    float angularVelocity;
    float brakeWindup;
    float torque;
    float brakingTorque;
    NodeCore* nodes[kMaxWheelNodes];
    int nodeCount;
    float invNodeCount;
    float lastTorque;
};

struct RailLink {
    int node;
    uint8_t isStop;
    uint8_t broken;
};

struct Rail {
    std::vector<RailLink> links;
    bool looped = false;  // the last link then repeats the first
};

// Where the nearest point of the line through a and b lies: 0 at a, 1 at b. The script's rail
// building and the slide-node forces both measure a node along a segment with it.
inline float railParameter(const float3& a, const float3& b, const float3& x)
{
    return (a - x).dot(a - b) / ((a - b).squaredLength() + kLengthEpsilon);
}

struct SlideNode {
    int segment;  // -1 detached
    int node;
    int rail;     // -1 the nearest of all rails
    float spring;
    float slack;
    float breakForce;
    float stopSpring;
    float stopBreakForce;
};

// Counts and masses of one object, filled by calcBeamStats.
struct beamstats {
    int node_count;
    int beam_count;
    int beams_broken;
    int beams_deformed;
    int wheel_count;
    float total_weight;
    float wheel_weight;
};

struct InternalCamera {
    int node;
    float value;
};

// One node in a render buffer; four floats so one aligned store writes it.
struct alignas(16) RenderPosition {
    float x, spare, y, z;
};

class ObjectScript;

// A stamp no object's beams had before, in any thread.
uint64_t nextBeamEndsVersion();

// The object's records as the physics threads see them: the node and beam arrays, the lists the
// substep walks, and the object-level fields the stages read and write. The object
// (bobject.h) is these records plus everything else; the solver, contact and thread layers
// include only this header.
struct BeamObjectRecords {
    NodeCore nodes[kMaxNodes] = {};
    NodeProperties nodeProperties[kMaxNodes] = {};
    BeamCore beams[kMaxBeams] = {};
    BeamParams beamParams[kMaxBeams] = {};
    BeamOrigin beamOrigins[kMaxBeams] = {};
    RenderPosition renderPositions[2][kMaxNodes] = {};
    int collisionNodes[kMaxNodes] = {};  // colliding nodes, each once, in the order defined
    int collisionNodeCount = 0;
    wheelData wheels[kMaxWheels] = {};

    std::vector<CollisionTriangle> collisionTriangles;
    std::vector<uint8_t> builtTriangleBroken;  // per triangle, the broken value as built
    std::vector<PressureGroup> pressureGroups;
    // Per group, whether it was last defined with a pressure; reset gives only those the
    // ambient pressure back.
    std::vector<uint8_t> builtGroupPressurised;
    std::vector<Rail> rails;
    std::vector<Rail> builtRails;
    std::vector<SlideNode> slideNodes;
    std::vector<SlideNode> builtSlideNodes;

    int node_count = 0;
    int beam_count = 0;
    int wheel_count = 0;
    // Stamped anew (nextBeamEndsVersion) whenever a beam's end nodes change: the beam stage
    // rebuilds its map of force sums when it sees a stamp it did not map, whichever object it
    // mapped before.
    uint64_t beamEndsVersion = 0;

    float3 originOffset;
    int refNode = 0;
    float slipTireMarkThreshold = 2.0f;
    float3 wind;
    float3 waterFlow;
    float3 boundingBoxMin;
    float3 boundingBoxMax;
    int substepCount = 0;
    float simTime = 0.0f;
    // The static collider's generation the nodes' lastStaticQueryPos were found in.
    uint32_t staticColliderGeneration = 0;

    // What the script and the contact code queue for the host and the script during a frame.
    ObjectFrameQueues frameQueues;

    bool validNode(int node) const { return node >= 0 && node < node_count; }
    // The solver's callbacks into the object's script; null: none.
    ObjectScript* script() const { return script_; }
    void setScript(ObjectScript* script) { script_ = script; }

protected:
    ObjectScript* script_ = nullptr;
};

} // namespace VadiZov
