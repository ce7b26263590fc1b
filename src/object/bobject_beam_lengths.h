// Length queries and rest-length changes of one beam, for scripts (hydros, deformation gauges).
// Ids outside the object's beams give 0 or false, and the setters do nothing.
#pragma once

namespace VadiZov {

class BeamObjectImpl;

bool beamIsBroken(const BeamObjectImpl& object, int beam);
float getBeamRestLength(const BeamObjectImpl& object, int beam);
float getBeamRefLength(const BeamObjectImpl& object, int beam);
float getBeamLength(const BeamObjectImpl& object, int beam);
float getBeamLengthRestRatio(const BeamObjectImpl& object, int beam);
float getBeamLengthRefRatio(const BeamObjectImpl& object, int beam);
float getBeamCurLengthRefRatio(const BeamObjectImpl& object, int beam);
void setBeamLength(BeamObjectImpl& object, int beam, float restLength);
void setBeamLengthRefRatio(BeamObjectImpl& object, int beam, float ratio);
// How far the beam is from the given rest length: positive while it is shorter. 0 when broken.
float getHydroDisplacement(const BeamObjectImpl& object, int beam);
float getHydroDisplacementFrom(const BeamObjectImpl& object, int beam, float refRatio);

} // namespace VadiZov
