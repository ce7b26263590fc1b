#include "object/bobject_loading.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <string>

#include "base/bglobals.h"
#include "base/blog.h"
#include "lua/blua.h"
#include "object/bobject.h"
#include "object/bobject_lua_script.h"
#include "velkor/host.h"

namespace VadiZov {

namespace {

constexpr const char* kDefaultObjectScript = "lua/vehicle/default.lua";
constexpr size_t kPathCapacity = 1024;  // 1023 characters and the terminator

// The shared part of the flexmesh and prop setters: the slot to fill, or -1 when the call is
// refused. Names the log lines after the kind of attachment.
template <class T>
int attachmentSlot(BeamObjectImpl& object, T* (&slots)[300], int count, int slot, const char* createdText,
                   const char* missingHostText)
{
    if (slot < -1 || slot >= int(std::size(slots)))
        return -1;
    if (slot == -1) {
        slot = count;
        if (slot >= int(std::size(slots)))
            return -1;
        logFormat(LOG_INFO, createdText, slot);
    }
    if (slots[slot]) {
        // Filled slots come with the meshes and props themselves, which also free them here.
        slots[slot] = nullptr;
    }
    if (!object.hostObject) {
        logMessage(LOG_WARN, missingHostText, true);
        return -1;
    }
    return slot;
}

} // namespace

void BeamObjectImpl::spawnVehicle(const char* dir, Vector3 position, Quaternion rotation)
{
    dir = dir ? dir : "";
    Lua& state = lua();
    char path[kPathCapacity];
    const int length = std::snprintf(path, sizeof path, "%s/init.lua", dir);
    if (length < 0 || size_t(length) >= sizeof path) {
        logFormat(LOG_ERROR, "spawnVehicle: directory name too long: %.64s...", dir);
        return;
    }
    if (g_fileSystem && g_fileSystem->fileExists(path))
        state.exec(path);
    else
        state.exec(kDefaultObjectScript);

    char name[32];
    std::snprintf(name, sizeof name, "V%d", id);
    state.setName(name);

    luaScript().cacheCallbacks();

    try {
        callLuaFunction("init", dir);
    } catch (const std::string& error) {
        logFormat(LOG_ERROR, "spawnVehicle: got exception: %s", error.c_str());
    }

    static_cast<BeamObject*>(this)->resetTransformation(position, rotation);
    // Placed now: the next Lua update must not reset the object for this rotation.
    rotationChanged = false;
    applyTransformation(rotation);
}

void BeamObjectImpl::renderDebug(HostDebugDraw*, float3)
{
    // The object's debug-draw collector renders into the host's target here.
}

FlexMesh* setFlexmesh(BeamObjectImpl& object, int slot, const char* meshName)
{
    (void)meshName;
    slot = attachmentSlot(object, object.flexmeshes, object.flexmesh_count, slot, "creating new flexbody in slot %d ...",
                          "setFlexmesh: Flexmesh could not be loaded");
    if (slot < 0)
        return nullptr;
    // Flexible meshes are made here from the host's mesh once they exist in the library.
    logMessage(LOG_WARN, "setFlexmesh: Flexmesh could not be loaded", true);
    return nullptr;
}

FlexMesh* getFlexmesh(BeamObjectImpl& object, int slot)
{
    return slot >= 0 && slot < object.flexmesh_count ? object.flexmeshes[slot] : nullptr;
}

Prop* setProp(BeamObjectImpl& object, int slot, const char* meshName)
{
    (void)meshName;
    slot = attachmentSlot(object, object.props, object.prop_count, slot, "creating new prop in slot %d ...",
                          "setProp: Prop could not be loaded");
    if (slot < 0)
        return nullptr;
    // Props are made here from the host's mesh once they exist in the library.
    logMessage(LOG_WARN, "setProp: Prop could not be loaded", true);
    return nullptr;
}

Prop* getProp(BeamObjectImpl& object, int slot)
{
    return slot >= 0 && slot < kMaxProps ? object.props[slot] : nullptr;
}

Material* getMaterial(BeamObjectImpl& object, const char* name)
{
    return object.hostObject ? object.hostObject->getMaterial(name) : nullptr;
}

wheel setWheel(BeamObjectImpl& object, int w, int first, int second, int arm)
{
    auto inNodeCapacity = [](int node) { return node >= 0 && node < kMaxNodes; };
    if (w < -1 || w >= kMaxWheels || !inNodeCapacity(first) || !inNodeCapacity(second))
        return wheel(&object, -1);
    if (w == -1) {
        w = object.wheel_count;
        if (w >= kMaxWheels)
            return wheel(&object, -1);
        object.wheels[w] = wheelData{};
    }
    wheelData& record = object.wheels[w];
    record.axisNode1 = &object.nodes[first];
    record.axisNode2 = &object.nodes[second];
    record.thirdNode = nullptr;
    record.nearAxisToThird = nullptr;
    if (inNodeCapacity(arm)) {
        const float3& armPos = object.nodes[arm].pos;
        const float toFirst = (object.nodes[first].pos - armPos).squaredLength();
        const float toSecond = (object.nodes[second].pos - armPos).squaredLength();
        record.thirdNode = &object.nodes[arm];
        record.nearAxisToThird = toFirst < toSecond ? record.axisNode1 : record.axisNode2;
    }
    object.wheel_count = std::max(object.wheel_count, w + 1);
    return wheel(&object, w);
}

wheelData* getWheel(BeamObjectImpl& object, int w)
{
    return w >= 0 && w < object.wheel_count ? &object.wheels[w] : nullptr;
}

float3 calcCenterOfGravity(const BeamObjectImpl& object, bool withoutWheels)
{
    float mass = 0.0f;
    float3 weighted;
    for (int i = 0; i < object.node_count; ++i) {
        const NodeProperties& props = object.nodeProperties[i];
        if (withoutWheels && props.wheelId != kNoWheel)
            continue;
        mass += props.mass;
        weighted += object.nodes[i].pos * props.mass;
    }
    const int ref = object.refNode;
    const float3 origin = ref >= 0 && ref < kMaxNodes ? object.nodes[ref].worldPos : float3();
    // Nothing to weigh: the reference node stands in for the centre.
    if (!(mass > 0.0f))
        return origin;
    return origin + weighted * (1.0f / mass);
}

beamstats calcBeamStats(const BeamObjectImpl& object)
{
    beamstats stats{};
    stats.node_count = object.node_count;
    stats.beam_count = object.beam_count;
    stats.wheel_count = object.wheel_count;
    for (int i = 0; i < object.beam_count; ++i) {
        const BeamCore& b = object.beams[i];
        if (b.type == BEAM_BROKEN) {
            ++stats.beams_broken;
        } else if (std::abs(b.restLength - object.beamParams[i].refLength) > 0.0001f) {
            ++stats.beams_deformed;
        }
    }
    for (int i = 0; i < object.node_count; ++i) {
        const NodeProperties& props = object.nodeProperties[i];
        stats.total_weight += props.mass;
        if (props.wheelId != kNoWheel)
            stats.wheel_weight += props.mass;
    }
    return stats;
}

void setPersistentData(BeamObjectImpl& object, const char* text) { object.persistentData = text ? text : ""; }

void setDebugString(BeamObjectImpl& object, const char* text) { object.debugString = text ? text : ""; }

void breakMeshes(BeamObjectImpl& object, int beam)
{
    if (beam < 0 || beam >= object.beam_count)
        return;
    // Every flexible mesh below the count is told of the beam here.
}

} // namespace VadiZov
