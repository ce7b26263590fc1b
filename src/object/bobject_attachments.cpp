#include "object/bobject_attachments.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "base/blog.h"
#include "object/bflexmesh.h"
#include "object/bobject.h"
#include "object/bprop.h"
#include "base/bphysics_thread.h"
#include "velkor/host.h"

namespace VadiZov {

namespace {

// Each occupied slot below the count; scripts may raise a count past the slots they filled.
template <class T, size_t N, class F>
void forEachOccupied(T* (&slots)[N], int count, F f)
{
    for (int i = 0; i < count && i < int(N); ++i)
        if (slots[i])
            f(*slots[i]);
}

void deleteAttachment(FlexMesh* mesh) { delete mesh; }

void deleteAttachment(Prop* prop)
{
    prop->destroy();
    delete prop;
}

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
        T* previous = slots[slot];
        slots[slot] = nullptr;
        deleteAttachment(previous);
    }
    if (!object.hostObject) {
        logMessage(LOG_WARN, missingHostText, true);
        return -1;
    }
    return slot;
}

// A mesh name names a file: one longer than any path names none, and each of the object's
// hundreds of slots would keep it.
constexpr size_t kMaxMeshNameBytes = 4096;

bool usableMeshName(const char* member, const char* name)
{
    const size_t bytes = name ? std::strlen(name) : 0;
    if (bytes <= kMaxMeshNameBytes)
        return true;
    logFormat(LOG_ERROR, "*** %s: a mesh name of %zu bytes is longer than %zu, refused", member, bytes,
              kMaxMeshNameBytes);
    return false;
}

} // namespace

// Meshes and props are the host thread's while a frame runs (the graphics update writes and
// places them): physicsStep may not make them.
FlexMesh* setFlexmesh(BeamObjectImpl& object, int slot, const char* meshName)
{
    if (refuseOnPhysicsThread("setFlexmesh") || !usableMeshName("setFlexmesh", meshName))
        return nullptr;
    slot = attachmentSlot(object, object.flexmeshes, object.flexmesh_count, slot, "creating new flexbody in slot %d ...",
                          "setFlexmesh: Flexmesh could not be loaded");
    if (slot < 0)
        return nullptr;
    FlexMesh* mesh = new (std::nothrow) FlexMesh(&object, slot, meshName, object.mesh);
    if (!mesh)
        return nullptr;
    object.flexmeshes[slot] = mesh;
    object.flexmesh_count = std::max(object.flexmesh_count, slot + 1);
    return mesh;
}

FlexMesh* getFlexmesh(BeamObjectImpl& object, int slot)
{
    return slot >= 0 && slot < object.flexmesh_count ? object.flexmeshes[slot] : nullptr;
}

Prop* setProp(BeamObjectImpl& object, int slot, const char* meshName)
{
    if (refuseOnPhysicsThread("setProp") || !usableMeshName("setProp", meshName))
        return nullptr;
    slot = attachmentSlot(object, object.props, object.prop_count, slot, "creating new prop in slot %d ...",
                          "setProp: Prop could not be loaded");
    if (slot < 0)
        return nullptr;
    Prop* prop = Prop::create(&object, slot, meshName, object.mesh);
    if (!prop)
        return nullptr;
    object.props[slot] = prop;
    object.prop_count = std::max(object.prop_count, slot + 1);
    return prop;
}

Prop* getProp(BeamObjectImpl& object, int slot)
{
    return slot >= 0 && slot < kMaxProps ? object.props[slot] : nullptr;
}

Material* getMaterial(BeamObjectImpl& object, const char* name)
{
    return object.hostObject ? object.hostObject->getMaterial(name) : nullptr;
}

void breakMeshes(BeamObjectImpl& object, int beam)
{
    if (beam < 0 || beam >= object.beam_count)
        return;
    forEachOccupied(object.flexmeshes, object.flexmesh_count, [beam](FlexMesh& m) { m.addBrokenNode(beam); });
}

// Every slot, not only those below the counts: scripts may lower a count, and nothing may be
// left behind unfreed.
void deleteAttachments(BeamObjectImpl& object)
{
    for (FlexMesh*& slot : object.flexmeshes) {
        FlexMesh* mesh = slot;
        slot = nullptr;
        if (mesh)
            deleteAttachment(mesh);
    }
    for (Prop*& slot : object.props) {
        Prop* prop = slot;
        slot = nullptr;
        if (prop)
            deleteAttachment(prop);
    }
}

void updateFlexmeshes(BeamObjectImpl& object)
{
    forEachOccupied(object.flexmeshes, object.flexmesh_count, [](FlexMesh& m) { m.update(); });
}

void updateProps(BeamObjectImpl& object)
{
    forEachOccupied(object.props, object.prop_count, [](Prop& p) { p.updatePlacement(); });
}

void hideBrokenMeshTriangles(BeamObjectImpl& object)
{
    forEachOccupied(object.flexmeshes, object.flexmesh_count, [](FlexMesh& m) { m.updateBrokenTriangles(); });
}

void restoreMeshTriangles(BeamObjectImpl& object)
{
    forEachOccupied(object.flexmeshes, object.flexmesh_count, [](FlexMesh& m) { m.updateIndexBuffer(); });
}

} // namespace VadiZov
