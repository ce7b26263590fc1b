// The nodes that carry an object's cameras and its reference positions, the external camera
// placed in the frame three of them span, and the internal cameras on single nodes.
#pragma once

#include "velkor/types.h"

namespace VadiZov {

class BeamObjectImpl;

// Ids are stored as given, also for nodes not defined yet, and checked where they are used. Ids
// outside the node capacity are refused with a logged error (-1 leaves the direction, side and
// up nodes unset); the call then changes nothing.
void setReferenceNodes(BeamObjectImpl& object, int ref, int dir, int side, int up, int position1, int position2);
// (x, y, z) is taken in the frame the camera nodes span now; when they span none the offset stays
// as it was (a logged error), the factors and the view value are stored all the same.
void setExternalCamera(BeamObjectImpl& object, float x, float y, float z, float factor1, float factor2, float view);
// At most 50; the node may be defined later. Ids outside the node capacity and calls beyond the
// table are refused with a logged error.
void addInternalCamera(BeamObjectImpl& object, int node, float value);
// (0, 0, 0) for an invalid node or without a game engine; the game engine's z is dropped.
float3 getProjectedNodePosition(BeamObjectImpl& object, int node);

} // namespace VadiZov
