// What happens to an object when the solver breaks or deforms one of its beams: the beam's state
// changes and the object's script hears of it (beamBroken, beamDeformed).
#pragma once

namespace VadiZov {

class BeamObjectImpl;

// Marks the beam broken and tells the script the spring energy released. Ids out of range and
// beams already broken are ignored.
void breakBeam(BeamObjectImpl& object, int beam);
// Tells the script when the rest length moved by more than the beam's trigger ratio since the
// last notice. The solver passes valid ids only.
void notifyBeamDeformed(BeamObjectImpl& object, int beam);

} // namespace VadiZov
