// What happens to an object when the solver breaks or deforms one of its beams: the beam's state
// changes and the object's script hears of it (beamBroken, beamDeformed).
#pragma once

namespace VadiZov {

struct BeamObjectRecords;
struct ForceSlots;

// Marks the beam broken and tells the script the spring energy released. Ids out of range and
// beams already broken are ignored. `collecting` is the running beam stage's force sums, settled
// before the script runs (it may read or add node forces); null outside the beam stage.
void breakBeam(BeamObjectRecords& object, int beam, ForceSlots* collecting = nullptr);
// Tells the script when the rest length moved by more than the beam's trigger ratio since the
// last notice. The solver passes valid ids only.
void notifyBeamDeformed(BeamObjectRecords& object, int beam, ForceSlots* collecting = nullptr);

} // namespace VadiZov
