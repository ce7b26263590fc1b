#include "solver/bpressure_groups.h"

namespace VadiZov {

void updatePressureGroups(BeamObjectRecords& object, SubstepContext& context)
{
    std::vector<uint8_t>& collapsed = context.collapsedGroups;
    collapsed.resize(object.pressureGroups.size(), 0);  // allocates only when groups are added
    for (size_t i = 0; i < object.pressureGroups.size(); ++i) {
        PressureGroup& g = object.pressureGroups[i];
        const float sum = g.area + kLengthEpsilon;
        collapsed[i] = g.area < kCollapsedGroupArea;
        g.pressure = collapsed[i] ? 0.0f : g.amount * (portableRsqrt(sum) / sum);
        g.area = 0.0f;
    }
}

} // namespace VadiZov
