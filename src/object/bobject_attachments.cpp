#include "object/bobject_attachments.h"

#include <iterator>

#include "base/blog.h"
#include "object/bobject.h"
#include "velkor/host.h"

namespace VadiZov {

namespace {

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

void breakMeshes(BeamObjectImpl& object, int beam)
{
    if (beam < 0 || beam >= object.beam_count)
        return;
    // TODO(flexmesh): every flexible mesh below the count is told of the beam.
}

} // namespace VadiZov
