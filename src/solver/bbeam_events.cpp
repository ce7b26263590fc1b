#include "solver/bbeam_events.h"

#include <cmath>
#include <string>

#include "base/blog.h"
#include "object/bobject_records.h"
#include "object/bobject_script.h"
#include "solver/bforce_slots.h"

namespace VadiZov {

void breakBeam(BeamObjectRecords& object, int beam, ForceSlots* collecting)
{
    if (beam < 0 || beam >= object.beam_count)
        return;
    BeamCore& b = object.beams[beam];
    if (b.type == BEAM_BROKEN)
        return;
    b.type = BEAM_BROKEN;
    const float length = (object.nodes[b.node1].pos - object.nodes[b.node2].pos).length();
    const float stretch = b.restLength - length;
    const float energy = 0.5f * b.spring * (stretch * stretch);
    ObjectScript* script = object.script();
    if (script && collecting)
        settleForceSlots(*collecting, object, beam);  // the script may read or add forces
    std::string error;
    if (script && !script->beamBroken(beam, energy, error))
        logMessage(LOG_ERROR, error.c_str(), true);
}

void notifyBeamDeformed(BeamObjectRecords& object, int beam, ForceSlots* collecting)
{
    BeamParams& p = object.beamParams[beam];
    const float rest = object.beams[beam].restLength;
    const float ratio = std::fabs(rest - p.lastNotifiedLength) / p.lastNotifiedLength;
    if (!(ratio > p.deformTriggerRatio))
        return;
    p.lastNotifiedLength = rest;
    ObjectScript* script = object.script();
    if (script && collecting)
        settleForceSlots(*collecting, object, beam);
    std::string error;
    if (script && !script->beamDeformed(beam, ratio, error))
        logMessage(LOG_ERROR, error.c_str(), true);
}

} // namespace VadiZov
