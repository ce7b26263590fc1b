// The plain records of one soft body and its capacities. The solver walks the node and beam
// arrays in index order every substep, so the per-substep fields (NodeCore, BeamCore) are kept
// apart from the rarely touched ones (NodeProperties, BeamParams, BeamOrigin). Every record is
// an aggregate whose value-initialisation is all zeros.
#pragma once

#include <cstdint>
#include <vector>

#include "base/bconstants.h"
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

// p0 to p7 mean different things per beam type; the handles document each use.
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

// A contact or script particle as scripts see it (particleEmitted, addParticle). Every field
// is four bytes wide.
struct particleData {
    int32_t id1;  // the node
    float3 pos;
    float3 normal;
    float3 nodeVel;
    float perpendicularVel;
    float slipVel;
    float slipForce;
    int32_t materialID1;
    int32_t materialID2;
    int32_t particleType;
    float width;
    int32_t count;
    float depth;
    float normalForce;
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

} // namespace VadiZov
