// The engine's object slots: making, loading, storing, resetting and deleting objects, and the
// engine events that tell the system Lua state about it.
#include <algorithm>
#include <vector>

#include "engine/bengine.h"
#include "base/bassert.h"
#include "base/blog.h"
#include "base/bscript_values.h"
#include "object/bobject.h"
#include "base/bphysics_thread.h"

namespace VadiZov {

namespace {

constexpr const char* kSpawnEvent = "engineEvent('spawn')";
constexpr const char* kDespawnEvent = "engineEvent('despawn')";
constexpr const char* kResetEvent = "engineEvent('reset')";

} // namespace

bool BeamEngineImpl::refuseWhileDeleting(const char* operation)
{
    if (deletingDepth_ == 0 && !tornDown_)
        return false;
    // A vehicleDestroy that spawns again would keep the deletion going for ever.
    logFormat(LOG_ERROR, "*** %s: refused while objects are being deleted", operation);
    return true;
}

BeamObjectImpl* BeamEngineImpl::makeObjectInFreeSlot()
{
    // The slots are packed: the first free one is numbered by the count. With every slot taken
    // the new object would be written past the array.
    const int slot = params_.objectCount;
    if (!params_.objects || slot >= kObjectSlots) {
        logFormat(LOG_ERROR, "*** getSlot: no free object slot (%d in use)", params_.objectCount);
        return nullptr;
    }
    logFormat(LOG_INFO, "creating new object in slot %d ...", slot);
    auto* object = new BeamObjectImpl();
    object->setEngine(this);
    params_.objects[slot] = object;
    object->id = slot;
    params_.objectCount = std::max(params_.objectCount, slot + 1);
    VELKOR_ASSERT(params_.objectCount <= kObjectSlots, "more objects counted than there are slots");
    return object;
}

BeamObjectImpl* BeamEngineImpl::slotObject(int slot) const
{
    return static_cast<BeamObjectImpl*>(params_.objects[slot]);
}

BeamObjectImpl* BeamEngineImpl::getSlot(int index)
{
    if (index == 0)
        return params_.objects && params_.objectCount > 0 ? slotObject(0) : nullptr;
    if (index != -1)
        return nullptr;
    if (refuseOnPhysicsThread("getSlot") || refuseWhileDeleting("getSlot"))
        return nullptr;
    platform::CriticalSectionGuard guard(engineLock_);
    return makeObjectInFreeSlot();
}

void BeamEngineImpl::setSlot(int index, BeamObjectImpl* object)
{
    if (index < 0 || index >= kObjectSlots || !params_.objects || !object)
        return;
    if (refuseOnPhysicsThread("setSlot") || refuseWhileDeleting("setSlot"))
        return;
    waitForPhysicsFrame();  // reset runs vehicleResetted under the lock
    platform::CriticalSectionGuard guard(engineLock_);
    object->setEngine(this);
    params_.objects[index] = object;
    // An object stored into a free slot is counted, so that it is stepped and, at the end, deleted.
    params_.objectCount = std::max(params_.objectCount, index + 1);
    object->reset(false);
}

void BeamEngineImpl::spawnObject(const char* directory, float3 position)
{
    if (refuseOnPhysicsThread("spawnObject") || refuseWhileDeleting("spawnObject") ||
        !acceptVector("spawnObject", "position", position))
        return;
    waitForPhysicsFrame();  // the object's init runs under the lock
    platform::CriticalSectionGuard guard(engineLock_);
    BeamObjectImpl* object = makeObjectInFreeSlot();
    if (!object)
        return;
    enterObjectLua();
    object->spawnVehicle(directory ? directory : "", Vector3{position.x, position.y, position.z},
                         Quaternion(0.0f, 0.0f, 0.0f, 0.0f));
    leaveObjectLua(object);
    params_.objectsChanged = true;
}

BeamObject* BeamEngineImpl::addObject(const char* directory, float x, float y, float z, float qx, float qy, float qz,
                                      float qw, HostObject* hostObject)
{
    if (!directory)
        return nullptr;
    if (refuseOnPhysicsThread("addObject") || refuseWhileDeleting("addObject"))
        return nullptr;
    if (params_.objectCount >= kObjectSlots) {
        logFormat(LOG_ERROR, "*** addObject: no free object slot (%d in use)", params_.objectCount);
        return nullptr;
    }
    queueLuaCommand(kSpawnEvent);

    waitForPhysicsFrame();  // the object's init runs under the lock
    platform::CriticalSectionGuard guard(engineLock_);
    BeamObjectImpl* object = makeObjectInFreeSlot();
    if (!object)
        return nullptr;
    object->hostObject = hostObject;
    if (hostObject) {
        object->mesh = hostObject->getResourceContainer();
        float3 position;
        const float3* returned = hostObject->getPosition(&position);
        object->originOffset = returned ? *returned : position;
        object->spawnOrigin = object->originOffset;
    }
    enterObjectLua();
    object->spawnVehicle(directory, Vector3{x, y, z}, Quaternion(qx, qy, qz, qw));
    const bool deletedByItsInit = leaveObjectLua(object);
    params_.objectsChanged = true;
    return deletedByItsInit ? nullptr : object;
}

void BeamEngineImpl::removeObject(BeamObject* object)
{
    queueLuaCommand(kDespawnEvent);
    if (refuseOnPhysicsThread("removeObject"))
        return;
    if (objectLuaDepth_ > 0) {
        deferredRemovals_.push_back(object);
        return;
    }
    deleteObjectsNow(false, object);
}

void BeamEngineImpl::deleteAllObjects()
{
    queueLuaCommand(kDespawnEvent);
    logMessage(LOG_INFO, "deleting all objects ...", true);
    if (refuseOnPhysicsThread("deleteAllObjects"))
        return;
    if (objectLuaDepth_ > 0) {
        deferredDeleteAll_ = true;
        return;
    }
    deleteObjectsNow(true, nullptr);
}

void BeamEngineImpl::deleteObjectsNow(bool all, const BeamObject* object)
{
    if (!params_.objects)
        return;
    waitForPhysicsFrame();  // vehicleDestroy runs under the lock
    platform::CriticalSectionGuard guard(engineLock_);
    // The objects leave their slots before any is deleted, and the deletion works on that set
    // only: vehicleDestroy runs during it and may call back into the slots, which refuse to
    // take objects until it is over.
    std::vector<BeamObjectImpl*> victims;
    if (all) {
        while (params_.objectCount > 0) {
            const int last = --params_.objectCount;
            victims.push_back(slotObject(last));
            params_.objects[last] = nullptr;
        }
    }
    for (int slot = 0; !all && slot < params_.objectCount; ++slot) {
        BeamObjectImpl* victim = slotObject(slot);
        if (!victim || static_cast<const BeamObject*>(victim) != object)
            continue;
        logFormat(LOG_DEBUG, "deleting object slot %d ...", slot);
        const int last = params_.objectCount - 1;
        params_.objects[slot] = params_.objects[last];
        params_.objects[last] = nullptr;
        params_.objectCount = last;
        victims.push_back(victim);
        break;
    }
    if (all)
        params_.objectsChanged = true;
    if (victims.empty())
        return;
    params_.objectsChanged = true;
    ++deletingDepth_;
    for (BeamObjectImpl* victim : victims)
        delete victim;
    --deletingDepth_;
}

bool BeamEngineImpl::leaveObjectLua(const BeamObjectImpl* object)
{
    if (objectLuaDepth_ > 0)
        --objectLuaDepth_;
    if (objectLuaDepth_ > 0 || (!deferredDeleteAll_ && deferredRemovals_.empty()))
        return false;
    bool objectDeleted = deferredDeleteAll_;
    if (!objectDeleted) {
        for (const BeamObject* removed : deferredRemovals_)
            objectDeleted = objectDeleted || removed == static_cast<const BeamObject*>(object);
    }
    deleteDeferredObjects();
    return objectDeleted;
}

void BeamEngineImpl::deleteDeferredObjects()
{
    const bool all = deferredDeleteAll_;
    std::vector<const BeamObject*> removals;
    removals.swap(deferredRemovals_);
    deferredDeleteAll_ = false;
    if (all) {
        deleteObjectsNow(true, nullptr);
        return;
    }
    for (const BeamObject* removed : removals)
        deleteObjectsNow(false, removed);
}

void BeamEngineImpl::reset(HostObject* hostObject)
{
    queueLuaCommand(kResetEvent);
    platform::CriticalSectionGuard guard(queueLock_);
    for (int slot = 0; slot < params_.objectCount; ++slot) {
        BeamObjectImpl* object = slotObject(slot);
        if (!object)
            continue;
        if (!hostObject) {
            object->requestReset(RESET_PHYSICS);
        } else if (object->hostObject == hostObject) {
            object->requestReset(RESET_PHYSICS);
            return;
        }
    }
}

} // namespace VadiZov
