// What scripts use while they build and run an object: the flexible-mesh and prop slot tables,
// wheels, host materials, centre of gravity, beam statistics, and the two texts the host reads
// back (persistent data, debug text).
#pragma once

#include "object/bbeam_handles.h"
#include "object/bobject_records.h"
#include "velkor/types.h"

namespace VadiZov {

class BeamObjectImpl;
class FlexMesh;
class Prop;
class Material;

// Slot -1 is the next free slot. Nil for a bad slot, a full table or an object without a host
// object. A slot's previous mesh or prop goes before the new one is made.
FlexMesh* setFlexmesh(BeamObjectImpl& object, int slot, const char* meshName);
FlexMesh* getFlexmesh(BeamObjectImpl& object, int slot);
Prop* setProp(BeamObjectImpl& object, int slot, const char* meshName);
Prop* getProp(BeamObjectImpl& object, int slot);
Material* getMaterial(BeamObjectImpl& object, const char* name);

// Wheel w (-1 the next) on the axis first-second, with an optional arm node; the handle's id is
// -1 when a wheel or node id is out of range.
wheel setWheel(BeamObjectImpl& object, int w, int first, int second, int arm);
wheelData* getWheel(BeamObjectImpl& object, int w);

// World position of the mass centre, optionally of the nodes that belong to no wheel.
float3 calcCenterOfGravity(const BeamObjectImpl& object, bool withoutWheels);
beamstats calcBeamStats(const BeamObjectImpl& object);

void setPersistentData(BeamObjectImpl& object, const char* text);
void setDebugString(BeamObjectImpl& object, const char* text);
// Hands the beam to every flexible mesh, which hides the triangles at its two nodes.
void breakMeshes(BeamObjectImpl& object, int beam);

} // namespace VadiZov
