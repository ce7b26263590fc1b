// Lua surface of the soft-body object: the building API, its handles and the records scripts
// read and write (wheelData, particleData, beamstats).
#include <algorithm>
#include <type_traits>

#include "base/bglobals.h"
#include "base/bscript_values.h"
#include "solver/bbeam_events.h"
#include "engine/bengine.h"
#include "lua/api/blua_api.h"
#include "lua/binding/blua_binding.h"
#include "object/bobject.h"
#include "object/bobject_wheels.h"
#include "base/bphysics_thread.h"

namespace VadiZov {

namespace {

// The rotation goes through the host interface like the host's own call; scripts get no result.
void resetTransformation(BeamObjectImpl& object, const Vector3& position, const Quaternion& rotation)
{
    static_cast<BeamObject&>(object).resetTransformation(position, rotation);
}

// Counts are writable from Lua, but the solver walks the arrays up to them: a written count is
// clamped into 0..capacity. The members (here and below) may be the object's or its records'.
template <auto Count, int Capacity>
int readCount(const BeamObjectImpl& object)
{
    return object.*Count;
}

template <auto Count, int Capacity>
void writeCount(BeamObjectImpl& object, int value)
{
    object.*Count = std::clamp(value, 0, Capacity);
}

template <auto Count, int Capacity>
void addCountProperty(LuaBinding::Class<BeamObjectImpl>& c, const char* name)
{
    c.addProperty(name, &readCount<Count, Capacity>, &writeCount<Count, Capacity>);
}

// Destroying empties the object and gives its meshes and props back to the host, which works on
// them while a frame runs: refused from physicsStep.
void destroyFromScript(BeamObjectImpl& object)
{
    if (!refuseOnPhysicsThread("destroy"))
        object.destroy();
}

// Numeric data members a script writes: refused when not finite or absurd (the frame step sends
// the bounding box and the camera values to the host, the solver reads the rest). A refusal
// reads "*** BeamObject: camRelaxation (nan) is not finite, ignored".
template <class T>
constexpr const char* classNameOf()
{
    return std::is_same_v<T, wheelData> ? "wheelData" : "BeamObject";
}

bool acceptValue(const char* member, const char* what, float value) { return acceptNumber(member, what, value); }
bool acceptValue(const char* member, const char* what, const float3& value) { return acceptVector(member, what, value); }

template <class T, class V, auto Member>
V readChecked(const T& record)
{
    return record.*Member;
}

template <class T, class V, auto Member, const char* Name>
void writeChecked(T& record, V value)
{
    if (acceptValue(classNameOf<T>(), Name, value))
        record.*Member = value;
}

template <class T, class V, auto Member, const char* Name>
void addCheckedProperty(LuaBinding::Class<T>& c)
{
    c.addProperty(Name, &readChecked<T, V, Member>, &writeChecked<T, V, Member, Name>);
}

template <class T, auto Member, const char* Name>
void addNumberProperty(LuaBinding::Class<T>& c)
{
    addCheckedProperty<T, float, Member, Name>(c);
}

template <class T, auto Member, const char* Name>
void addVectorProperty(LuaBinding::Class<T>& c)
{
    addCheckedProperty<T, float3, Member, Name>(c);
}

// BeamObject() from a script: a new empty object of its own, or nil once too many objects live.
int newScriptObject(lua_State* L)
{
    if (!roomFor("BeamObject", size_t(BeamObjectImpl::liveCount()), kMaxLiveObjects, "objects")) {
        lua_pushnil(L);
        return 1;
    }
    // Loading it tells the engine, as loading the engine's own objects does: a script may store
    // it into a slot.
    BeamObjectImpl* object = LuaBinding::pushObjectValue<BeamObjectImpl>(L);
    object->setEngine(g_engine);
    return 1;
}

// Outside the beam stage: no force sums to settle.
void breakBeamFromScript(BeamObjectImpl& object, int beam) { breakBeam(object, beam); }

ResourceContainer* readMesh(const BeamObjectImpl& object) { return object.mesh; }

// Props and meshes made later take the container; the host thread uses it while a frame runs.
void writeMesh(BeamObjectImpl& object, ResourceContainer* mesh)
{
    if (!refuseOnPhysicsThread("mesh"))
        object.mesh = mesh;
}

constexpr char kBoundingBoxMin[] = "boundingBoxMin";
constexpr char kBoundingBoxMax[] = "boundingBoxMax";
constexpr char kSlipTireMarkThreshold[] = "slipTireMarkThreshold";
constexpr char kCamRelaxation[] = "camRelaxation";
constexpr char kAngularVelocity[] = "angularVelocity";
constexpr char kTorque[] = "torque";
constexpr char kBrakingTorque[] = "brakingTorque";
constexpr char kLastTorque[] = "lastTorque";

} // namespace

void addObjectBuildingMembers(LuaBinding::Class<BeamObjectImpl>& c)
{
    c.addCConstructor(&newScriptObject)
        .addFunction("destroy", &destroyFromScript)
        .addFunction("requestReset", &BeamObjectImpl::requestReset)
        .addFunction("resetTransformation", &resetTransformation)
        .addFunction("setGravity", &BeamObjectImpl::setGravity)
        .addFunction("setWind", &BeamObjectImpl::setWind)
        .addFunction("setWaterFlow", &BeamObjectImpl::setWaterFlow)
        .addFunction("setNode", &BeamObjectImpl::setNode)
        .addFunction("setNodePair", &BeamObjectImpl::setNodePair)
        .addFunction("setNodeMass", &BeamObjectImpl::setNodeMass)
        .addFunction("setNodeMaterial", &BeamObjectImpl::setNodeMaterial)
        .addFunction("setBeam", &BeamObjectImpl::setBeam)
        .addFunction("setBeamSpringDamp", &BeamObjectImpl::setBeamSpringDamp)
        .addFunction("setBeamPressureRel", &BeamObjectImpl::setBeamPressureRel)
        .addFunction("setCollisionTriangle", &BeamObjectImpl::setCollisionTriangle)
        .addFunction("getBeamForce", &BeamObjectImpl::getBeamForce)
        .addFunction("getNodeForceOnBeamDir", &BeamObjectImpl::getNodeForceOnBeamDir)
        .addFunction("inWater", &BeamObjectImpl::inWater)
        .addFunction("getNodeForce", &BeamObjectImpl::getNodeForce)
        .addFunction("getNodeVelocity", &BeamObjectImpl::getNodeVelocity)
        .addFunction("applyForce", &BeamObjectImpl::applyForce)
        .addFunction("applyTorque", &BeamObjectImpl::applyTorque)
        .addFunction("finishLoading", &BeamObjectImpl::finishLoading)
        .addFunction("getTriangleCount", &BeamObjectImpl::getTriangleCount)
        .addFunction("breakCollisionTriangle", &BeamObjectImpl::breakCollisionTriangle)
        .addFunction("deflatePressureGroup", &BeamObjectImpl::deflatePressureGroup)
        .addFunction("setGroupPressure", &BeamObjectImpl::setGroupPressure)
        .addFunction("getVelocity", &BeamObjectImpl::getVelocity)
        .addFunction("getPosition", &BeamObjectImpl::getPosition)
        .addFunction("getDirection", &BeamObjectImpl::getDirection)
        .addFunction("getDirectionVector", &BeamObjectImpl::getDirectionVector)
        .addFunction("getDirectionVectorUp", &BeamObjectImpl::getDirectionVectorUp)
        .addFunction("queueLuaCommand", &BeamObjectBase::queueLuaCommand)
        .addFunction("getLuaResult", &BeamObjectBase::getLuaResult)
        .addFunction("breakBeam", &breakBeamFromScript);
    addVectorProperty<BeamObjectImpl, &BeamObjectImpl::boundingBoxMin, kBoundingBoxMin>(c);
    addVectorProperty<BeamObjectImpl, &BeamObjectImpl::boundingBoxMax, kBoundingBoxMax>(c);
    c.addProperty("activationMode", &BeamObjectImpl::activationMode);
    addNumberProperty<BeamObjectImpl, &BeamObjectImpl::slipTireMarkThreshold, kSlipTireMarkThreshold>(c);
    addNumberProperty<BeamObjectImpl, &BeamObjectImpl::camRelaxation, kCamRelaxation>(c);
    c.addProperty("mesh", &readMesh, &writeMesh);
    addCountProperty<&BeamObjectImpl::node_count, kMaxNodes>(c, "node_count");
    addCountProperty<&BeamObjectImpl::beam_count, kMaxBeams>(c, "beam_count");
    addCountProperty<&BeamObjectImpl::flexmesh_count, kMaxFlexmeshes>(c, "flexmesh_count");
    addCountProperty<&BeamObjectImpl::prop_count, kMaxProps>(c, "prop_count");
    addCountProperty<&BeamObjectImpl::internal_camera_count, kMaxInternalCameras>(c, "internal_camera_count");
    addCountProperty<&BeamObjectImpl::wheel_count, kMaxWheels>(c, "wheel_count");
}

void addBeamHandleMembers(LuaBinding::Class<beam>& c)
{
    c.addFunction("makeAnisotropic", &beam::makeAnisotropic)
        .addFunction("makeBounded", &beam::makeBounded)
        .addFunction("makePressured", &beam::makePressured)
        .addFunction("isValid", &beam::isValid)
        .addFunction("setDeformationTriggerRatio", &beam::setDeformationTriggerRatio);
}

void addWheelHandleMembers(LuaBinding::Class<wheel>& c)
{
    c.addFunction("addNode", &wheel::addNode).addFunction("isValid", &wheel::isValid);
}

void addWheelDataMembers(LuaBinding::Class<wheelData>& c)
{
    addNumberProperty<wheelData, &wheelData::angularVelocity, kAngularVelocity>(c);
    addNumberProperty<wheelData, &wheelData::torque, kTorque>(c);
    addNumberProperty<wheelData, &wheelData::brakingTorque, kBrakingTorque>(c);
    addNumberProperty<wheelData, &wheelData::lastTorque, kLastTorque>(c);
}

void addParticleDataMembers(LuaBinding::Class<particleData>& c)
{
    c.addConstructor<>()
        .addProperty("id1", &particleData::id1)
        .addProperty("pos", &particleData::pos)
        .addProperty("normal", &particleData::normal)
        .addProperty("nodeVel", &particleData::nodeVel)
        .addProperty("perpendicularVel", &particleData::perpendicularVel)
        .addProperty("slipVel", &particleData::slipVel)
        .addProperty("slipForce", &particleData::slipForce)
        .addProperty("materialID1", &particleData::materialID1)
        .addProperty("materialID2", &particleData::materialID2)
        .addProperty("particleType", &particleData::particleType)
        .addProperty("width", &particleData::width)
        .addProperty("count", &particleData::count)
        .addProperty("depth", &particleData::depth)
        .addProperty("normalForce", &particleData::normalForce);
}

void addBeamstatsMembers(LuaBinding::Class<beamstats>& c)
{
    c.addProperty("beam_count", &beamstats::beam_count)
        .addProperty("node_count", &beamstats::node_count)
        .addProperty("beams_broken", &beamstats::beams_broken)
        .addProperty("beams_deformed", &beamstats::beams_deformed)
        .addProperty("wheel_count", &beamstats::wheel_count)
        .addProperty("total_weight", &beamstats::total_weight)
        .addProperty("wheel_weight", &beamstats::wheel_weight);
}

} // namespace VadiZov
