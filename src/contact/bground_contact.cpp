#include "contact/bground_contact.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>

#include "base/bconstants.h"
#include "object/bcore_parameters.h"
#include "ground/bground_models.h"
#include "base/bmath.h"
#include "contact/bcontact_particles.h"
#include "contact/bfriction.h"
#include "object/bobject_records.h"
#include "base/bsettings.h"
#include "ground/bstatic_collider.h"
#include "ground/bterrain.h"

namespace VadiZov {

namespace {

// Written as 0.01, not 0.1f squared: that product rounds up to the next float.
constexpr float kStaticRequeryDistanceSq = 0.01f;
constexpr float kTireMarkSpacingSq = 0.02f;
constexpr float kMinPartnerIntensity = 0.4f;
constexpr float kMaxPushOutSpeed = 1.0f;
constexpr int32_t kOneBits = 0x3F800000;  // the pattern of 1.0f
// The largest value whose truncation is still a float pattern: +inf.
constexpr float kLargestPattern = 2139095040.0f;

void emitParticle(BeamObjectRecords& target, int node, int material, int collisionType, const float3& normal,
                  float normalSpeed, float slipSpeed, float frictionForce, float depth, float normalForce)
{
    const NodeCore& n = target.nodes[node];
    emitContactParticle(target, node, material, collisionType, &n.worldPos, &normal, &n.vel, normalSpeed, slipSpeed,
                        frictionForce, depth, normalForce);
}

// Marks are left where the tire meets the ground: with a partner node across the tread the mark
// moves towards the partner as far as the tread lies flat on the surface.
void leaveTireMark(BeamObjectRecords& object, int node, const float3& normal)
{
    const NodeCore& nc = object.nodes[node];
    NodeProperties& np = object.nodeProperties[node];
    float3 p = nc.worldPos;
    float intensity = 1.0f;
    const int partner = np.tireMarkPartner;
    if (partner >= 0 && partner < object.node_count) {
        const float3 r = object.nodes[partner].pos - nc.pos;
        const float c = normal.dot(r) / (r.length() + kLengthEpsilon);
        intensity = std::max(1.0f - std::fabs(c), kMinPartnerIntensity);
        p += r * (0.5f - 0.5f * c);
    }
    if ((p - np.lastTireMarkPos).squaredLength() > kTireMarkSpacingSq) {
        object.frameQueues.tireMarks.push_back(TireMark{p, normal, intensity});
        np.lastTireMarkPos = p;
    }
}

} // namespace

float flowPower(float squaredSpeed, float flowBehaviorIndex)
{
    const float p = (flowBehaviorIndex - 1.0f) * 0.5f;
    const int32_t bits = std::bit_cast<int32_t>(squaredSpeed);
    float t = p * float(bits - kOneBits);
    t = t + float(kOneBits);
    // A NaN speed, or a power that drives the pattern out of the float range, must not reach
    // the integer conversion.
    if (!(t >= 0.0f))
        t = 0.0f;
    else if (t > kLargestPattern)
        t = kLargestPattern;
    return std::bit_cast<float>(int32_t(t));
}

void resolveGroundContact(BeamObjectRecords& object, int node, const float3& n, float /*invDt*/,
                          uint16_t groundModelWord, int nodeMaterial, BeamObjectRecords* particleTarget, float depth)
{
    NodeCore& nc = object.nodes[node];
    const NodeProperties& np = object.nodeProperties[node];
    const groundModel& g = groundModelTable().model(uint8_t(groundModelWord & 0xFF));
    const float3 v = nc.vel;
    float3 f = nc.force;
    const float massOverDt = np.massOverDt;

    const float vn = v.dot(n);
    const unsigned depthCode = unsigned(groundModelWord) >> 8;
    const float groundDepth = depthCode != 0 ? float(depthCode) * terrainDepthScale : g.defaultDepth;

    if (depth < groundDepth) {
        // Soft ground: the node moves through a power-law fluid.
        if (groundDepth == 0.0f || depth < 0.0f)
            return;
        const float v2 = v.squaredLength();
        const float mu = g.flowConsistencyIndex * flowPower(v2, g.flowBehaviorIndex);
        float drag = 0.0f;
        if (v2 != 0.0f) {
            // The coefficient that would stop the node in this substep; the drag never exceeds it.
            const float stopLimit = massOverDt + f.dot(v) / v2;
            drag = std::min(np.surfaceCoef * mu, std::max(stopLimit, 0.0f));
        }
        f.x += -drag * v.x;
        f.y += -drag * v.y;
        f.z += -drag * v.z;
        float lift = 0.0f;
        if (g.dragAnisotropy > 0.0f && vn > 0.0f) {
            // Less drag when leaving the ground than when sinking into it.
            const float adhesion2 = g.adhesionVelocity * g.adhesionVelocity;
            lift = mu * vn * g.dragAnisotropy * std::min(1.0f, v2 / adhesion2);
            f += n * lift;
        }
        float buoyancy = g.fluidDensity * depth * -Settings::gravity * np.volume;
        if (g.flowBehaviorIndex != 1.0f && vn >= 0.0f) {
            // A non-Newtonian fluid does not lift a node that leaves it harder than it is pressed in.
            const float fn = n.dot(f);
            if (fn < 0.0f)
                buoyancy = std::min(buoyancy, -fn);
        }
        f += n * buoyancy;
        nc.force = f;
        if (particleTarget && vn >= 0.0f) {
            const float dragForce = (v * drag - n * lift).length();
            emitParticle(*particleTarget, node, nodeMaterial, g.collisiontype, n, vn, std::sqrt(v2), dragForce, depth,
                         0.0f);
        }
        return;
    }

    // Solid ground. The normal force leaves the node with the push-out speed (the depth, at most
    // 1 m/s) after this substep.
    const float target = (std::min(depth, kMaxPushOutSpeed) - vn) * massOverDt;
    const float fp = f.dot(n);
    const float normalForce = target - fp;
    if (normalForce < 0.0f)
        return;  // leaving fast enough on its own
    const float3 vt = v - n * vn;
    const float frictionBase = g.strength * normalForce * np.friction;
    const float3 stopForce = f - n * fp + vt * massOverDt;
    float slipSpeed = 0.0f;
    float frictionForce = 0.0f;
    if (frictionSticks(g, frictionBase, stopForce)) {
        // Sticking: the accumulated force is replaced by the one that holds the node in place.
        f = n * target - vt * massOverDt;
    } else {
        const float s = vt.length();
        // By the stored reciprocal, where triangle contact divides: each keeps its own rounding.
        float c = slidingFriction(g, frictionBase, s, s * g.stribeckVelocityInverse);
        const float stopCoefficient = std::max(f.dot(vt) / (s * s + kLengthEpsilon) + massOverDt, 0.0f);
        if (c >= stopCoefficient) {
            c = stopCoefficient;  // friction stops the sliding in this substep
        } else {
            slipSpeed = s;
            frictionForce = c * s;
        }
        f = f + n * normalForce - vt * c;
    }
    nc.force = f;

    if (np.mediumDensity > kWaterMediumThreshold)
        return;
    if (slipSpeed > object.slipTireMarkThreshold && g.skidMarks && nodeMaterial == kTireMaterial)
        leaveTireMark(object, node, n);
    if (particleTarget)
        emitParticle(*particleTarget, node, nodeMaterial, g.collisiontype, n, vn, slipSpeed, frictionForce, 0.0f,
                     -normalForce);
}

void resolveNodeContacts(BeamObjectRecords& object, const StaticCollider* collider, const TerrainBlock* terrain,
                         BeamObjectRecords* particleTarget)
{
    const int count = object.node_count;
    if (collider && object.staticColliderGeneration != collider->generation()) {
        // "Nothing near" was learnt of the triangles before: ask about the new ones at once.
        for (int i = 0; i < count; ++i)
            object.nodes[i].lastStaticQueryPos = float3(FLT_MAX, FLT_MAX, FLT_MAX);
        object.staticColliderGeneration = collider->generation();
    }
    for (int i = 0; i < count; ++i) {
        NodeCore& nc = object.nodes[i];
        if (!nc.collides)
            continue;
        const int material = object.nodeProperties[i].material;
        if (collider && (nc.worldPos - nc.lastStaticQueryPos).squaredLength() > kStaticRequeryDistanceSq) {
            StaticQueryResult result;
            const bool touching = collider->query(result, nc.worldPos, kStaticQueryRadius);
            if (touching)
                resolveGroundContact(object, i, result.triangle->normal, kInvSubstepTime, 0, material, particleTarget, 0.0f);
            if (result.nothingNear)
                nc.lastStaticQueryPos = nc.worldPos;
            if (touching)
                continue;  // static geometry covers the terrain under it
        }
        if (!terrain)
            continue;
        const float h = terrain->getHeight(nc.worldPos);
        if (h >= nc.worldPos.z) {
            float3 normal;
            uint16_t word = 0;
            terrain->getNormalAndGroundModel(nc.worldPos, normal, word);
            resolveGroundContact(object, i, normal, kInvSubstepTime, word, material, particleTarget, h - nc.worldPos.z);
        }
    }
}

void groundContactStep(BeamObjectRecords& object, const core_parameters_t& params)
{
    // With neither terrain nor static geometry the walk could touch nothing, not even a node's
    // static-query cache, so it is not made.
    if (!params.terrain && !params.collider)
        return;
    resolveNodeContacts(object, params.collider, params.terrain, params.lastSubstep ? &object : nullptr);
}

} // namespace VadiZov
