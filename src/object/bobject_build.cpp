// The building API the object's script uses: nodes, beams, collision triangles and pressure
// groups, forces, and the getters. Invalid ids are handled per method: refused silently,
// logged at error level, or ignored.

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <initializer_list>
#include <string>

#include "object/bobject_engine.h"
#include "base/bconstants.h"
#include "base/bglobals.h"
#include "base/blog.h"
#include "base/bmath.h"
#include "base/bscript_values.h"
#include "object/bobject.h"
#include "ground/bground_model_names.h"
#include "base/bsettings.h"

namespace VadiZov {

uint64_t nextBeamEndsVersion()
{
    static std::atomic<uint64_t> last{0};
    return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

namespace {


bool inCapacity(int node) { return node >= 0 && node < kMaxNodes; }

// A mass the integration can divide by: positive, finite and normal, with dt / mass finite, and
// no heavier than kMaxScriptValue, so mass / dt and the weight stay finite.
bool usableMass(float mass)
{
    return mass >= FLT_MIN && mass <= kMaxScriptValue && std::isfinite(kSubstepTime / mass);
}

// The numbers of a beam as setBeam takes them. Strength and deformation are limits, only ever
// compared (FLT_MAX means "never"); spring, damping and the length factor enter every force.
bool usableBeamNumbers(float strength, float spring, float damp, float deform, float lengthFactor)
{
    constexpr const char* kMember = "setBeam";
    return acceptLimit(kMember, "strength", strength) && acceptCoefficient(kMember, "spring", spring) &&
           acceptCoefficient(kMember, "damp", damp) && acceptLimit(kMember, "deform", deform) &&
           acceptNumber(kMember, "length factor", lengthFactor);
}

// "Not negative" setters keep their field for a negative value; NaN, infinity and absurd sizes
// are refused with a message.
bool usableOrKept(const char* member, const char* what, float value)
{
    return value < 0.0f || acceptNumber(member, what, value);
}

float3 unitOrZero(const float3& v)
{
    const float divisor = v.length() + kLengthEpsilon;
    return float3(v.x / divisor, v.y / divisor, v.z / divisor);
}

} // namespace

// ---- nodes

int BeamObjectImpl::setNode(int index, float3 position, float mass, int /*nodeType*/, float friction,
                            int collisionGroup, bool triangleCollides, bool collides)
{
    if (index < -1 || index >= kMaxNodes)
        return -1;
    if (index == -1) {
        if (node_count >= kMaxNodes)
            return -1;
        index = node_count;
    }

    const float s = Settings::spawnScale;
    const float3 p = position * s;
    const float m = mass * s;
    // Either would turn the whole object to NaN in its first substep.
    if (!usableMass(m)) {
        logFormat(LOG_ERROR, "*** setNode: node %d has an invalid mass (%g), ignored", index, double(m));
        return -1;
    }
    if (!isFinite(p)) {
        logFormat(LOG_ERROR, "*** setNode: node %d has a position that is not finite, ignored", index);
        return -1;
    }
    if (!acceptVector("setNode", "position", p) || !acceptCoefficient("setNode", "friction", friction))
        return -1;

    NodeCore& node = nodes[index];
    node.worldPos = originOffset + p;
    node.pos = p;
    node.vel = float3();
    node.force = float3();
    node.lastStaticQueryPos = float3(FLT_MAX, FLT_MAX, FLT_MAX);
    node.dtOverMass = kSubstepTime / m;
    node.gravityForce = m * Settings::gravity;
    node.collisionId = int16_t(collisionGroup == -1 ? index : -1 - collisionGroup);
    node.collides = collides ? 1 : 0;

    const RenderPosition entry{p.x, 0.0f, p.y, p.z};
    renderPositions[0][index] = entry;
    renderPositions[1][index] = entry;

    NodeProperties& props = nodeProperties[index];
    props.spawnPos = p;
    props.lastTireMarkPos = float3();
    props.mass = m;
    props.massOverDt = m / kSubstepTime;
    props.friction = friction;
    props.mediumDensity = kAirDensity;
    props.volume = 0.1f;
    props.surfaceCoef = 0.1f;
    props.material = 0;
    props.tireMarkPartner = -1;
    props.waterSurfaceZ = 0.0f;
    props.wheelId = kNoWheel;
    props.triangleCollides = triangleCollides ? 1 : 0;

    // A redefined node keeps its single place in the list, or leaves it when it no longer
    // collides: the physics tree gives every listed node one slot.
    if (collides)
        addCollisionNode(index);
    else
        removeCollisionNode(index);

    node_count = std::max(node_count, index + 1);
    return index;
}

void BeamObjectImpl::addCollisionNode(int node)
{
    for (int i = 0; i < collisionNodeCount; ++i) {
        if (collisionNodes[i] == node)
            return;
    }
    if (collisionNodeCount < kMaxNodes)
        collisionNodes[collisionNodeCount++] = node;
}

void BeamObjectImpl::removeCollisionNode(int node)
{
    for (int i = 0; i < collisionNodeCount; ++i) {
        if (collisionNodes[i] == node) {
            std::copy(collisionNodes + i + 1, collisionNodes + collisionNodeCount, collisionNodes + i);
            --collisionNodeCount;
            return;
        }
    }
}

void BeamObjectImpl::setNodeMass(int node, float mass)
{
    if (!validNode(node))
        return;
    // Zero, negative, NaN, infinite or denormal would make dt / mass infinite, zero or negative.
    if (!usableMass(mass)) {
        logFormat(LOG_ERROR, "*** setNodeMass: node %d has an invalid mass (%g), ignored", node, double(mass));
        return;
    }
    NodeProperties& props = nodeProperties[node];
    props.mass = mass;
    props.massOverDt = mass / kSubstepTime;
    nodes[node].dtOverMass = kSubstepTime / mass;
    nodes[node].gravityForce = mass * Settings::gravity;
}

void BeamObjectImpl::setNodeMaterial(int node, int material)
{
    if (!inCapacity(node))
        return;
    nodeProperties[node].material = material;
}

void BeamObjectImpl::setNodePair(int node, int partner)
{
    if (!validNode(node) || !inCapacity(partner))
        return;
    nodeProperties[node].tireMarkPartner = partner;
}

void BeamObjectImpl::setGravity(float g)
{
    if (!acceptNumber("setGravity", "gravity", g))
        return;
    for (int i = 0; i < node_count; ++i)
        nodes[i].gravityForce = nodeProperties[i].mass * g;
}

void BeamObjectImpl::setWind(float x, float y, float z)
{
    const float3 v(x, y, z);
    if (acceptVector("setWind", "wind", v))
        wind = v;
}

void BeamObjectImpl::setWaterFlow(float x, float y, float z)
{
    const float3 v(x, y, z);
    if (acceptVector("setWaterFlow", "flow", v))
        waterFlow = v;
}

// ---- beams

// At the cap, damping alone stops the two ends' relative motion in one substep (the reduced mass
// over the substep); any more would reverse it, and such a beam rings up with any spring.
float BeamObjectImpl::cappedDamping(int beamId, float value) const
{
    const BeamCore& b = beams[beamId];
    const float m1 = nodeProperties[b.node1].mass;
    const float m2 = nodeProperties[b.node2].mass;
    if (!(m1 > 0.0f && m2 > 0.0f))
        return std::min(value, 0.0f);
    // m1 m2 / (m1 + m2) in a form that neither overflows for huge masses nor loses an
    // infinitely heavy end: the lighter mass over (1 + lighter / heavier).
    const float lighter = std::min(m1, m2);
    const float heavier = std::max(m1, m2);
    const float reduced = lighter / (1.0f + lighter / heavier);
    return std::min(value, reduced / kSubstepTime);
}

beam BeamObjectImpl::setBeam(int index, int node1, int node2, float strength, float spring, float damp,
                             float deform, float lengthFactor)
{
    if (index < -1 || index >= kMaxBeams)
        return beam(this, -1);
    if (index == -1) {
        if (beam_count >= kMaxBeams)
            return beam(this, -1);
        index = beam_count;
    }
    if (!validNode(node1) || !validNode(node2)) {
        logFormat(LOG_ERROR, "*** setBeam: invalid node id: %d, %d", node1, node2);
        return beam(this, -1);
    }
    if (!usableBeamNumbers(strength, spring, damp, deform, lengthFactor))
        return beam(this, -1);

    BeamCore& b = beams[index];
    BeamParams& p = beamParams[index];
    BeamOrigin& o = beamOrigins[index];
    b = BeamCore{};
    p = BeamParams{};
    o = BeamOrigin{};

    b.node1 = int16_t(node1);
    b.node2 = int16_t(node2);
    beamEndsVersion = nextBeamEndsVersion();
    b.type = BEAM_NORMAL;
    b.spring = spring;
    b.damp = cappedDamping(index, damp);
    b.restLength = (nodes[node1].pos - nodes[node2].pos).length() * lengthFactor;
    const float deformMagnitude = std::fabs(deform);
    b.limitForce = strength > deformMagnitude ? deformMagnitude : strength;

    p.p0 = 1.0f;
    p.p1 = 1.0f;
    p.p2 = 9000000.0f;
    p.p3 = 12000.0f;
    p.p4 = spring;
    p.p5 = b.damp;
    p.strength = strength;
    p.deformCompress = deform;
    p.deformTension = 0.0f - deform;
    p.deformTriggerRatio = FLT_MAX;
    p.refLength = b.restLength;
    p.lastNotifiedLength = b.restLength;

    o.strength = strength;
    o.deformCompress = p.deformCompress;
    o.deformTension = p.deformTension;
    o.limitForce = b.limitForce;
    o.restLength = b.restLength;
    o.type = BEAM_NORMAL;
    o.deformTriggerRatio = FLT_MAX;

    beam_count = std::max(beam_count, index + 1);
    return beam(this, index);
}

void BeamObjectImpl::setBeamSpringDamp(int beamId, float spring, float damp, float springExt, float dampExt)
{
    if (!validBeam(beamId))
        return;
    constexpr const char* kMember = "setBeamSpringDamp";
    if (!usableOrKept(kMember, "spring", spring) || !usableOrKept(kMember, "damp", damp) ||
        !usableOrKept(kMember, "spring in extension", springExt) || !usableOrKept(kMember, "damp in extension", dampExt))
        return;
    BeamCore& b = beams[beamId];
    BeamParams& p = beamParams[beamId];
    if (spring >= 0.0f)
        b.spring = spring;
    // A bounded beam's damp is its cut-off speed, not a damping.
    if (b.type != BEAM_BOUNDED && damp >= 0.0f)
        b.damp = cappedDamping(beamId, damp);
    if (b.type == BEAM_ANISOTROPIC) {
        if (springExt >= 0.0f)
            p.p4 = springExt;
        if (dampExt >= 0.0f)
            p.p5 = cappedDamping(beamId, dampExt);
    }
}

void BeamObjectImpl::setBeamPressureRel(int beamId, float pressure, float maxPressure, float spring, float damp)
{
    if (!validBeam(beamId) || beams[beamId].type != BEAM_PRESSURED)
        return;
    constexpr const char* kMember = "setBeamPressureRel";
    if (!usableOrKept(kMember, "pressure", pressure) || !usableOrKept(kMember, "maximum pressure", maxPressure) ||
        !usableOrKept(kMember, "spring", spring) || !usableOrKept(kMember, "damp", damp))
        return;
    BeamCore& b = beams[beamId];
    BeamParams& p = beamParams[beamId];
    if (spring >= 0.0f)
        b.spring = spring;
    if (damp >= 0.0f)
        b.damp = cappedDamping(beamId, damp);
    const float absolute = pressure >= 0.0f ? pressure + kAtmosphericPressure : beamOrigins[beamId].basePressure;
    p.p1 = p.refLength * absolute * p.p6;
    if (maxPressure >= 0.0f) {
        p.p7 = std::max(0.0f, p.p6 * maxPressure - p.p3);
        // The signed tension limit, so the deformation step runs for the beam and recomputes it.
        b.limitForce = std::min(std::min(p.p7, p.strength), p.deformTension);
    }
}

// ---- collision triangles and pressure groups

void BeamObjectImpl::setCollisionTriangle(int index, int node1, int node2, int node3, float dragCoef, float pressure,
                                          int pressureGroup, int broken, const char* groundModelName)
{
    const int count = getTriangleCount();
    // An index past the end would leave zeroed triangles (all on node 0) in the list.
    if (index < -1 || index > count)
        return;
    // Checked before the lists change, so a refused call leaves them as they were.
    for (const int node : {node1, node2, node3}) {
        if (!validNode(node)) {
            logFormat(LOG_ERROR, "setCollisionTriangle: invalid node id: %d", node);
            return;
        }
    }
    if (pressureGroup > kMaxPressureGroup) {
        logFormat(LOG_ERROR, "setCollisionTriangle: invalid pressure group: %d", pressureGroup);
        return;
    }
    // A negative pressure means "none"; NaN, infinity and absurd sizes are refused.
    if (!acceptCoefficient("setCollisionTriangle", "drag coefficient", dragCoef) ||
        !usableOrKept("setCollisionTriangle", "pressure", pressure))
        return;
    if ((index == -1 || index == count) &&
        !roomFor("setCollisionTriangle", size_t(count), kMaxCollisionTriangles, "collision triangles"))
        return;

    if (index == -1)
        index = count;
    collisionTriangles.resize(size_t(index) + 1, CollisionTriangle{});
    builtTriangleBroken.resize(size_t(index) + 1, 0);

    CollisionTriangle& t = collisionTriangles[size_t(index)];
    t.node1 = int16_t(node1);
    t.node2 = int16_t(node2);
    t.node3 = int16_t(node3);
    t.dragCoef = dragCoef;
    t.skip = 0;
    t.radiusSteps = 1;

    if (pressureGroup >= 0) {
        const size_t g = size_t(pressureGroup);
        if (pressureGroups.size() < g + 1) {
            pressureGroups.resize(g + 1, PressureGroup{});
            builtGroupPressurised.resize(g + 1, 0);
        }
        PressureGroup& group = pressureGroups[g];
        const float3 n = triangleNormal(nodes[node2].pos, nodes[node3].pos, nodes[node1].pos);
        group.baseArea += n.length();
        group.area = group.baseArea;
        if (pressure >= 0.0f) {
            group.basePressure = pressure;
            group.ambient = kGroupAmbient;
            group.hydroFactor = kGroupHydroFactor;
            // Not reset's or setGroupPressure's operand order, on purpose: each keeps its rounding.
            group.amount = pressure * kOneSixth * group.baseArea * std::sqrt(group.baseArea);
            builtGroupPressurised[g] = 1;
        } else {
            group.amount = 0.0f;
            group.basePressure = 0.0f;
            group.ambient = 0.0f;
            group.hydroFactor = 0.0f;
            builtGroupPressurised[g] = 0;
        }
    }
    // Every negative group means none; below -128 the byte would wrap to a real group.
    t.pressureGroup = int8_t(pressureGroup >= 0 ? pressureGroup : -1);
    t.broken = uint8_t(broken);
    builtTriangleBroken[size_t(index)] = t.broken;

    t.groundModelId = 0;
    if (groundModelName) {
        const int found =
            groundModelNames_ ? groundModelNames_->findGroundModel(toUpper(groundModelName)) : -1;
        if (found >= 0)
            t.groundModelId = uint8_t(found);
        else
            logFormat(LOG_ERROR, "setCollisionTriangle: No ground model for collision triangle found: %s",
                      groundModelName);
    }
}

void BeamObjectImpl::breakCollisionTriangle(int triangle)
{
    if (triangle < 0 || triangle >= getTriangleCount())
        return;
    collisionTriangles[size_t(triangle)].broken = 1;
}

void BeamObjectImpl::deflatePressureGroup(int group)
{
    if (group < 0 || size_t(group) >= pressureGroups.size())
        return;
    PressureGroup& g = pressureGroups[size_t(group)];
    g.pressure = 0.0f;
    g.ambient = 0.0f;
    g.hydroFactor = 0.0f;
    g.amount = 0.0f;
}

void BeamObjectImpl::setGroupPressure(int group, float pressure)
{
    if (group < 0 || size_t(group) >= pressureGroups.size())
        return;
    if (!acceptNumber("setGroupPressure", "pressure", pressure))
        return;
    PressureGroup& g = pressureGroups[size_t(group)];
    // Not the build's or reset's operand order, on purpose: each keeps its rounding.
    const float amount = std::max(0.0f, std::sqrt(g.area) * (pressure * kOneSixth * g.area));
    if (!std::isfinite(amount)) {
        logFormat(LOG_ERROR, "*** setGroupPressure: group %d would hold an amount of gas that is not finite, ignored",
                  group);
        return;
    }
    g.amount = amount;
    g.ambient = kGroupAmbient;
    g.hydroFactor = kGroupHydroFactor;
}

// ---- loading, forces

void BeamObjectImpl::finishLoading()
{
    if (hostObject && mesh)
        mesh->notifyLoaded();
    if (engine_)
        engine_->markObjectsChanged();
    loaded = true;
}

void BeamObjectImpl::applyForce(int node, int towards, float force)
{
    if (!inCapacity(node) || !inCapacity(towards))
        return;
    if (!acceptNumber("applyForce", "force", force))
        return;
    const float3 d = nodes[towards].pos - nodes[node].pos;
    const float squared = d.squaredLength();
    // No direction between coincident nodes (or a node and itself).
    if (!(squared > 0.0f))
        return;
    nodes[node].force += d * approxRsqrt(squared) * force;
}

float BeamObjectImpl::applyTorque(int axisStart, int axisEnd, int node, float torque)
{
    if (!inCapacity(axisStart) || !inCapacity(axisEnd) || !inCapacity(node))
        return 0.0f;
    if (!acceptNumber("applyTorque", "torque", torque))
        return 0.0f;
    const float3 axis = nodes[axisEnd].pos - nodes[axisStart].pos;
    const float3 arm = nodes[node].pos - nodes[axisEnd].pos;
    const float axisSquared = axis.squaredLength();
    const float armSquared = arm.squaredLength();
    // Without an axis or an arm there is no torque to turn into a force.
    if (!(axisSquared > 0.0f) || !(armSquared > 0.0f))
        return 0.0f;
    const float3 c = crossProduct(axis, arm);
    const float k = (1.0f / armSquared) * approxRsqrt(axisSquared);
    const float3 f = c * k * torque;
    // A lever of almost no length turns even a modest torque into an infinite force.
    if (!isFinite(f)) {
        logFormat(LOG_ERROR, "*** applyTorque: the force on node %d is not finite, ignored", node);
        return 0.0f;
    }
    nodes[node].force += f;
    nodes[axisEnd].force -= f;
    return (nodes[node].vel - nodes[axisEnd].vel).dot(c) * k;
}

// ---- getters

float BeamObjectImpl::getBeamForce(int beamId) const
{
    if (!validBeam(beamId) || beams[beamId].type == BEAM_BROKEN)
        return 0.0f;
    const BeamCore& b = beams[beamId];
    const float3 d = nodes[b.node2].pos - nodes[b.node1].pos;
    const float3 f = nodes[b.node1].force - nodes[b.node2].force;
    return f.dot(d) / (d.length() + kLengthEpsilon);
}

float BeamObjectImpl::getNodeForceOnBeamDir(int node, int beamId) const
{
    if (!validBeam(beamId) || beams[beamId].type == BEAM_BROKEN || !validNode(node))
        return 0.0f;
    const BeamCore& b = beams[beamId];
    const float3 d = nodes[b.node2].pos - nodes[b.node1].pos;
    return nodes[node].force.dot(d) / (d.length() + kLengthEpsilon);
}

bool BeamObjectImpl::inWater(int node) const
{
    if (!inCapacity(node))
        return false;
    return nodeProperties[node].mediumDensity > kAirDensity;
}

float BeamObjectImpl::getNodeForce(int node, int towards) const
{
    if (!inCapacity(node) || !inCapacity(towards) || node == towards)
        return 0.0f;
    const float3 d = nodes[towards].pos - nodes[node].pos;
    return nodes[node].force.dot(d) * approxRsqrt(d.squaredLength() + kLengthEpsilon);
}

float BeamObjectImpl::getNodeVelocity(int node, int towards) const
{
    if (!inCapacity(node) || !inCapacity(towards) || node == towards)
        return 0.0f;
    const float3 d = nodes[towards].pos - nodes[node].pos;
    return nodes[node].vel.dot(d) / (d.length() + kLengthEpsilon);
}

float3 BeamObjectImpl::getVelocity() const
{
    return validNode(refNode) ? nodes[refNode].vel : float3();
}

float3 BeamObjectImpl::getPosition() const
{
    return validNode(refNode) ? nodes[refNode].worldPos : float3();
}

float BeamObjectImpl::getDirection() const
{
    if (!validNode(axisRef) || !validNode(axisBack))
        return 0.0f;
    const float3 n = unitOrZero(nodes[axisRef].pos - nodes[axisBack].pos);
    return std::atan2(n.x, 0.0f - n.y);
}

float3 BeamObjectImpl::getDirectionVector() const
{
    if (!validNode(axisRef) || !validNode(axisBack))
        return float3();
    return unitOrZero(nodes[axisRef].pos - nodes[axisBack].pos);
}

float3 BeamObjectImpl::getDirectionVectorUp() const
{
    if (!validNode(axisUp) || !validNode(axisRef))
        return float3();
    return unitOrZero(nodes[axisUp].pos - nodes[axisRef].pos);
}

} // namespace VadiZov
