// Rails (polylines through the object's own nodes) and the slide nodes held on them, as the
// object's script builds, attaches, detaches and breaks them. The solver's forces are in
// solver/bslide_nodes.cpp.
#pragma once

#include "object/bobject_records.h"
#include "velkor/types.h"

namespace VadiZov {

class BeamObjectImpl;

int addRail(BeamObjectImpl& object, int looped);
// The new link's index, -1 when the rail or node is refused.
int addRailLink(BeamObjectImpl& object, int rail, int node, int stop, int broken);
// Breaks every current rail segment that runs along the beam; the rails as built stay whole.
void breakRails(BeamObjectImpl& object, int beam);
int addSlidenode(BeamObjectImpl& object, int node, int rail, int attach, int snap, float slack, float spring,
                 float breakForce, float stopBreakForce);
int attachSlidenode(BeamObjectImpl& object, int slideNode, int rail);
void detachSlidenode(BeamObjectImpl& object, int slideNode);

// Puts the slide node on the nearest segment of its rail (or of all rails); with snap, moves a
// node farther away than its slack to the slack's distance. False when no segment was found.
bool attachSlidenodeToRail(BeamObjectImpl& object, int slideNode, bool snap);

struct RailSearch {
    int segment = -1;
    float parameter = 0.0f;
    float best;  // distance to beat
    float3 offset;  // from the nearest point to the node
};
// True when some segment (or the rail's far end) of the rail beats search.best.
bool findNearestRailSegment(const BeamObjectImpl& object, int node, int rail, RailSearch& search);

} // namespace VadiZov
