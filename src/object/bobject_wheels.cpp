#include "object/bobject_wheels.h"

#include <algorithm>

#include "base/blog.h"
#include "object/bobject.h"

namespace VadiZov {

wheel::wheel(BeamObjectImpl* object, int id) : object_(object), id_(id), life_(object ? object->lifeFlag() : LifeFlag{}) {}

void wheel::addNode(int node)
{
    if (!object_ || life_.expired() || id_ < 0 || id_ >= kMaxWheels || id_ >= object_->wheel_count) {
        logMessage(LOG_ERROR, "*** addNode: wheel invalid, ignored", true);
        return;
    }
    if (node < 0 || node >= kMaxNodes) {
        logMessage(LOG_ERROR, "*** addNode: wheel node invalid, ignored", true);
        return;
    }
    wheelData& w = object_->wheels[id_];
    if (w.nodeCount >= kMaxWheelNodes) {
        logMessage(LOG_ERROR, "*** addNode: wheel node list full, ignored", true);
        return;
    }
    w.nodes[w.nodeCount] = &object_->nodes[node];
    object_->nodeProperties[node].wheelId = int16_t(id_);
    w.nodeCount += 1;
    w.invNodeCount = 1.0f / float(w.nodeCount);
}

wheel setWheel(BeamObjectImpl& object, int w, int first, int second, int arm)
{
    auto inNodeCapacity = [](int node) { return node >= 0 && node < kMaxNodes; };
    if (w < -1 || w >= kMaxWheels || !inNodeCapacity(first) || !inNodeCapacity(second))
        return wheel(&object, -1);
    if (w == -1) {
        w = object.wheel_count;
        if (w >= kMaxWheels)
            return wheel(&object, -1);
        object.wheels[w] = wheelData{};
    }
    wheelData& record = object.wheels[w];
    record.axisNode1 = &object.nodes[first];
    record.axisNode2 = &object.nodes[second];
    record.thirdNode = nullptr;
    record.nearAxisToThird = nullptr;
    if (inNodeCapacity(arm)) {
        const float3& armPos = object.nodes[arm].pos;
        const float toFirst = (object.nodes[first].pos - armPos).squaredLength();
        const float toSecond = (object.nodes[second].pos - armPos).squaredLength();
        record.thirdNode = &object.nodes[arm];
        record.nearAxisToThird = toFirst < toSecond ? record.axisNode1 : record.axisNode2;
    }
    object.wheel_count = std::max(object.wheel_count, w + 1);
    return wheel(&object, w);
}

wheelData* getWheel(BeamObjectImpl& object, int w)
{
    return w >= 0 && w < object.wheel_count ? &object.wheels[w] : nullptr;
}

} // namespace VadiZov
