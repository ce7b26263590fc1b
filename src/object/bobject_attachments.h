// The flexible-mesh and prop slot tables of an object, and the host's materials.
#pragma once

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

// Hands the beam to every flexible mesh, which hides the triangles at its two nodes.
void breakMeshes(BeamObjectImpl& object, int beam);

} // namespace VadiZov
