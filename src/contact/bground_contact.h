// Contact of an object's nodes with the static geometry and the terrain height field: the normal
// response that stops the approach and pushes out, Stribeck friction on solid ground, power-law
// drag and buoyancy in soft ground, and the tire marks and contact particles they leave.
#pragma once

#include <cstdint>

#include "velkor/types.h"
#include "base/bconstants.h"

namespace VadiZov {

struct BeamObjectRecords;
class StaticCollider;
class TerrainBlock;
struct core_parameters_t;

// Radius of a node's static query; a node that found no triangle plane within it is not asked
// again until it has moved that far.
constexpr float kStaticQueryRadius = 0.1f;
// A node whose medium is denser than air is in water: no tire marks, no solid-ground particles.
constexpr float kWaterMediumThreshold = kAirDensity;
constexpr int kTireMaterial = 4;

// Every colliding node of the object, in index order, against the collider and then the terrain
// (either may be null: no such contact). particleTarget receives the contact particles (the
// object on the last substep of a frame, else null).
void resolveNodeContacts(BeamObjectRecords& object, const StaticCollider* collider, const TerrainBlock* terrain,
                         BeamObjectRecords* particleTarget);
// The substep's ground and static contact: the frame's collider and terrain, particles on the
// last substep.
void groundContactStep(BeamObjectRecords& object, const core_parameters_t& params);

// The response of one node touching a surface with the given unit outward normal. The low byte
// of groundModelWord names the ground model, the high byte a depth code (0: the model's own
// depth); depth is the penetration in metres (0 for static geometry). invDt is not used.
void resolveGroundContact(BeamObjectRecords& object, int node, const float3& normal, float invDt,
                          uint16_t groundModelWord, int nodeMaterial, BeamObjectRecords* particleTarget, float depth);

// |v|^(flowBehaviorIndex - 1) from |v|^2 by the float's bit pattern (no pow on the contact path).
// Clamped so that the result is a float from 0 to +inf, also for a NaN or infinite speed.
float flowPower(float squaredSpeed, float flowBehaviorIndex);

} // namespace VadiZov
