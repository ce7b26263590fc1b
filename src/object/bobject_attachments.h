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

// Frees every flexible mesh and prop and empties the slots (clearing the object).
void deleteAttachments(BeamObjectImpl& object);
// The per-frame passes over the occupied slots below the counts.
void updateFlexmeshes(BeamObjectImpl& object);       // graphics update: rewrite the vertices
void updateProps(BeamObjectImpl& object);            // graphics update: place props and lights
void hideBrokenMeshTriangles(BeamObjectImpl& object);  // Lua update: triangles of broken beams
void restoreMeshTriangles(BeamObjectImpl& object);   // reset: every triangle back

} // namespace VadiZov
