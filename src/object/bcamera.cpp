#include "object/bcamera.h"

#include <cmath>

#include "base/bconstants.h"
#include "base/bglobals.h"
#include "base/blog.h"
#include "base/bmath.h"
#include "base/bscript_values.h"
#include "object/bobject.h"
#include "base/bphysics_thread.h"
#include "velkor/host.h"

namespace VadiZov {

namespace {

bool inNodeCapacity(int node) { return node >= 0 && node < kMaxNodes; }
bool inNodeCapacityOrUnset(int node) { return node == -1 || inNodeCapacity(node); }

// Camera frame axes u = S - R, v = D - R, n = unit(u x v); false when the nodes are not (yet)
// nodes of the object or span no frame.
bool cameraAxes(const BeamObjectImpl& object, float3& u, float3& v, float3& n)
{
    if (!object.validNode(object.axisRef) || !object.validNode(object.axisSide) || !object.validNode(object.axisBack))
        return false;
    const float3& r = object.nodes[object.axisRef].pos;
    u = object.nodes[object.axisSide].pos - r;
    v = object.nodes[object.axisBack].pos - r;
    const float3 c = u.cross(v);
    const float squared = c.squaredLength();
    if (!(squared > 0.0f) || !std::isfinite(squared))
        return false;
    n = c * (1.0f / std::sqrt(squared));
    return true;
}

// (a, b, c) with offset = a u + b v + c n; false when there is no frame or no finite answer.
bool offsetInCameraFrame(const BeamObjectImpl& object, const float3& offset, float3& coefficients)
{
    float3 u, v, n;
    if (!cameraAxes(object, u, v, n))
        return false;
    coefficients = coefficientsInAxes(u, v, n, offset);
    return isFinite(coefficients);
}

} // namespace

// The camera setup is read by the host thread (reference positions) while a frame runs.
void setReferenceNodes(BeamObjectImpl& object, int ref, int dir, int side, int up, int position1, int position2)
{
    if (refuseOnPhysicsThread("setReferenceNodes"))
        return;
    // Scripts may name the nodes before they define them: ids are checked against the node
    // count where they are used. Only ids that can never be nodes are refused.
    if (!inNodeCapacity(ref) || !inNodeCapacityOrUnset(dir) || !inNodeCapacityOrUnset(side) ||
        !inNodeCapacityOrUnset(up) || !inNodeCapacity(position1) || !inNodeCapacity(position2)) {
        logFormat(LOG_ERROR, "*** setReferenceNodes: invalid node id: %d, %d, %d, %d, %d, %d", ref, dir, side, up,
                  position1, position2);
        return;
    }
    object.axisRef = ref;
    object.refNode = ref;
    object.axisBack = dir;
    object.axisSide = side;
    object.axisUp = up;
    object.refPositionNodes[0] = position1;
    object.refPositionNodes[1] = position2;
}

void setExternalCamera(BeamObjectImpl& object, float x, float y, float z, float factor1, float factor2, float view)
{
    constexpr const char* kMember = "setExternalCamera";
    if (refuseOnPhysicsThread(kMember) || !acceptVector(kMember, "offset", float3(x, y, z)) ||
        !acceptNumber(kMember, "factor", factor1) || !acceptNumber(kMember, "factor", factor2) ||
        !acceptNumber(kMember, "view", view))
        return;
    // The factors and the view value do not depend on the frame: they are kept even when the
    // offset cannot be expressed in it.
    object.cameraParams[0] = factor1;
    object.cameraParams[1] = factor2;
    object.cameraParams[2] = view;
    float3 coefficients;
    if (!offsetInCameraFrame(object, float3(x, y, z), coefficients)) {
        logMessage(LOG_ERROR, "*** setExternalCamera: the camera nodes span no frame", true);
        return;
    }
    object.externalCameraOffset = coefficients;
}

void addInternalCamera(BeamObjectImpl& object, int node, float value)
{
    if (refuseOnPhysicsThread("addInternalCamera") || !acceptNumber("addInternalCamera", "value", value))
        return;
    // Like the reference nodes, the node may be defined later; updateCamera checks it.
    if (!inNodeCapacity(node)) {
        logFormat(LOG_ERROR, "*** addInternalCamera: invalid node id: %d", node);
        return;
    }
    if (object.internal_camera_count < 0 || object.internal_camera_count >= kMaxInternalCameras) {
        logFormat(LOG_ERROR, "*** addInternalCamera: no room for more than %d internal cameras", kMaxInternalCameras);
        return;
    }
    object.internalCameras[object.internal_camera_count] = InternalCamera{node, value};
    ++object.internal_camera_count;
}

float3 getProjectedNodePosition(BeamObjectImpl& object, int node)
{
    if (!object.validNode(node) || !g_gameEngine)
        return float3();
    float3 projected;
    g_gameEngine->projectPosition(&projected, &object.nodes[node].worldPos);
    return float3(projected.x, projected.y, 0.0f);
}

void BeamObjectImpl::updateCamera()
{
    if (!hostObject || !validNode(axisRef) || !validNode(axisSide) || !validNode(axisBack))
        return;
    CameraRecord record{};
    record.values[0] = nodes[axisRef].pos;
    record.values[1] = nodes[axisSide].pos;
    record.values[2] = nodes[axisBack].pos;
    record.values[3] = externalCameraOffset;
    record.values[4] = nodes[axisRef].vel;
    float cameraValue = cameraParams[2];
    const int choice = internalCameraChoice;
    // The count is a Lua data member: it is bounded by the table before it indexes it.
    if (choice >= 0 && choice < internal_camera_count && choice < kMaxInternalCameras) {
        const InternalCamera& camera = internalCameras[choice];
        if (validNode(camera.node))
            record.values[5] = nodes[camera.node].pos;
        cameraValue = camera.value;
    }
    hostObject->updateCamera(choice, internal_camera_count, &record, cameraValue, cameraParams[0], cameraParams[1],
                             camRelaxation);
}

} // namespace VadiZov
