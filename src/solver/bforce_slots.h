// Ordered force sums of the beam stage. Adding each beam's force straight into its two nodes
// makes the beam loop a chain of read-modify-writes on scattered nodes. Instead the beam loop
// only stores each beam's force and its negation in beam order, and a pass over the nodes then
// adds to each node the forces of its beams in beam order (the negation at a beam's node2 end):
// the very additions, in the very order, of the direct loop, hence the same bits.
//
// Each node's additions form one dependent chain, so the node pass walks eight nodes side by
// side: their lists are interleaved and padded to the longest of the eight with an entry that
// adds -0, which leaves any sum as it is. Nodes are grouped by the length of their lists.
#pragma once

#include <cstdint>

#include "base/bconstants.h"

namespace VadiZov {

struct BeamObjectRecords;

struct alignas(16) ForceSlot {
    float x, y, z, unused;
};

// What beam b adds to its node1 (plus) and to its node2 (minus).
struct alignas(32) BeamForce {
    ForceSlot plus, minus;
};

struct ForceSlots {
    static constexpr int kGroup = 8;
    static constexpr int kPadEntries = 4 * kMaxBeams;  // twice the ends: room for the padding
    // One per beam, then the -0 pair that padding entries name.
    BeamForce force[kMaxBeams + 1];
    // Groups of eight nodes, each as rows of eight entries (one per node): an entry is the
    // byte offset of a ForceSlot in force.
    int32_t entries[kPadEntries];
    int32_t listed[2 * kMaxBeams];  // scratch of the map: each node's ends in beam order
    int32_t groupRows[kMaxNodes];  // rows per group (groups of one node when not grouped)
    int16_t summed[kMaxNodes];     // the nodes with beam ends, group by group
    int summedCount = 0;
    int mappedBeams = -1;            // the object's beam count the map was built for (-1: none)
    uint64_t mappedEndsVersion = 0;  // and its beamEndsVersion
    bool grouped = false;  // else one node per group: the padding did not fit
    bool collecting = false;  // the beam stage stores forces rather than adding them to nodes
};

// Builds the map when the object's beams changed since and starts collecting.
void beginForceSlots(ForceSlots& slots, const BeamObjectRecords& object);
// Adds the forces of beams [0, beam) to their nodes in beam order and lets the rest of the
// stage add its forces directly: called before a script runs mid-stage, which may read or add
// node forces.
void settleForceSlots(ForceSlots& slots, BeamObjectRecords& object, int beam);
// Adds every node's beam forces, in order, to its force. Nothing when collecting was given up.
void finishForceSlots(ForceSlots& slots, BeamObjectRecords& object);

inline BeamForce beamForce(float fx, float fy, float fz) { return BeamForce{{fx, fy, fz, 0.0f}, {-fx, -fy, -fz, 0.0f}}; }

inline void writeForceSlot(ForceSlots& slots, int beam, float fx, float fy, float fz)
{
    slots.force[beam] = beamForce(fx, fy, fz);
}

// A beam that adds nothing: -0 leaves every sum as it is, +0 would turn a -0 sum into +0.
inline void writeNoForceSlot(ForceSlots& slots, int beam)
{
    slots.force[beam] = BeamForce{{-0.0f, -0.0f, -0.0f, 0.0f}, {-0.0f, -0.0f, -0.0f, 0.0f}};
}

} // namespace VadiZov
