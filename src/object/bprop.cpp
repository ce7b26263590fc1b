#include "object/bprop.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <new>

#include "base/blifetime.h"
#include "base/blog.h"
#include "base/bmath.h"
#include "object/bobject.h"
#include "base/bphysics_thread.h"
#include "velkor/host.h"

namespace VadiZov {

namespace {

constexpr float kUnset = FLT_MAX;
constexpr float kLightOnAbove = 0.0001f;

float3 renderPosition(const BeamObjectImpl& object, int node)
{
    const RenderPosition& p = object.renderPositions[object.graphicsBuffer == 1 ? 1 : 0][node];
    return float3(p.x, p.y, p.z);
}

// Zero for a zero-length vector, so coincident frame nodes give a finite placement.
float3 unitOrZero(const float3& v)
{
    const float squared = v.squaredLength();
    return squared > 0.0f ? v * approxRsqrt(squared) : float3();
}

} // namespace

Prop::Prop(BeamObjectImpl* owner, int slot, const char* meshName, ResourceContainer* container)
    : baseTranslation(kUnset, kUnset, kUnset),
      baseRotation(kUnset, kUnset, kUnset),
      slotID(slot),
      owner_(owner),
      container_(container),
      meshName_(meshName ? meshName : "")
{
    beginLifetime(this);
}

Prop* Prop::create(BeamObjectImpl* owner, int slot, const char* meshName, ResourceContainer* container)
{
    return new (std::nothrow) Prop(owner, slot, meshName, container);
}

Prop::~Prop()
{
    releaseHostResources();
    endLifetime(this);
}

bool Prop::hasValidNodes() const
{
    return owner_->validNode(nRef) && owner_->validNode(nX) && owner_->validNode(nY);
}

void Prop::initialize()
{
    // The host thread places props while a frame runs; the nodes it reads belong to the frame.
    if (refuseOnPhysicsThread("Prop.initialize"))
        return;
    beforeScriptAccess();
    if (!container_) {
        logFormat(LOG_ERROR, "Error while initializing prop: unable to contact resource container: %s",
                  meshName_.c_str());
        return;
    }
    // A second initialize would otherwise orphan the first mesh or light at the host.
    releaseHostResources();
    // Given means set by Lua before this call, for meshes and lights alike; a translation an
    // earlier initialize computed is computed again, not taken as given in metres.
    baseTranslationGiven_ = baseTranslation.x != kUnset && !holdsComputedBaseTranslation();
    if (meshName_ == "SPOTLIGHT" && owner_->hostObject) {
        light_ = owner_->hostObject->createSpotLight();
        if (light_)
            beginLifetime(light_);
        lightState_ = -1;
        return;
    }
    rigidMesh_ = container_->getRigidMesh(meshName_.c_str());
    if (!rigidMesh_) {
        logFormat(LOG_ERROR, "Error while initializing prop: unable to find rigid mesh: %s", meshName_.c_str());
        return;
    }
    float3 meshPosition;
    alignas(16) unsigned char unused[16] = {};
    if (!rigidMesh_->getInitialPosition(&meshPosition, unused))
        return;
    if (!baseTranslationGiven_)
        computeBaseTranslation(meshPosition);
    if (baseRotation.x == kUnset)
        logMessage(LOG_ERROR, "please give baseRotation for now, its broken", true);
}

bool Prop::holdsComputedBaseTranslation() const
{
    return baseTranslationComputed_ &&
           std::memcmp(&baseTranslation, &computedBaseTranslation_, sizeof(float3)) == 0;
}

void Prop::computeBaseTranslation(const float3& meshPosition)
{
    baseTranslation = float3(kUnset, kUnset, kUnset);
    if (!hasValidNodes()) {
        logFormat(LOG_ERROR, "*** Prop.initialize: invalid node id: %d, %d, %d", nRef, nX, nY);
        return;
    }
    const float3 r = owner_->nodes[nRef].pos;
    const float3 x = owner_->nodes[nX].pos - r;
    const float3 y = owner_->nodes[nY].pos - r;
    const float3 n = unitOrZero(y.cross(x));
    const float3 coefficients = coefficientsInAxes(x, y, n, meshPosition - r);
    if (!isFinite(coefficients)) {
        logFormat(LOG_ERROR, "*** Prop.initialize: the nodes of prop %s span no frame", meshName_.c_str());
        return;
    }
    baseTranslation = coefficients;
    computedBaseTranslation_ = coefficients;
    baseTranslationComputed_ = true;
    logFormat(LOG_INFO, "calculated base translation for prop %s : %f,%f,%f", meshName_.c_str(),
              double(coefficients.x), double(coefficients.y), double(coefficients.z));
}

void Prop::updatePlacement()
{
    if ((!rigidMesh_ && !light_) || !hasValidNodes())
        return;
    const float3 r = renderPosition(*owner_, nRef);
    const float3 x = renderPosition(*owner_, nX) - r;
    const float3 y = renderPosition(*owner_, nY) - r;
    const float3 n = unitOrZero(y.cross(x));
    const float3 forward = unitOrZero(x);

    float3 position;
    if (baseTranslationGiven_) {
        // A given base translation is in metres along the unit axes.
        const float3 unitY = unitOrZero(y);
        position = r + forward * baseTranslation.x + x * translation.x + unitY * baseTranslation.y +
                   y * translation.y + n * (baseTranslation.z + translation.z);
    } else {
        // Still unset (no initial mesh position): the offset is the script's translation alone.
        const float3 base = baseTranslation.x == kUnset ? float3() : baseTranslation;
        position = r + x * (base.x + translation.x) + y * (base.y + translation.y) + n * (base.z + translation.z);
    }

    // A body that blew up, or offsets that are not finite, must not reach the host.
    if (!isFinite(position) || !isFinite(n) || !isFinite(forward)) {
        if (!placementRefused_)
            logFormat(LOG_ERROR, "*** prop %s: its placement is not finite, not sent to the host", meshName_.c_str());
        placementRefused_ = true;
        return;
    }
    placementRefused_ = false;
    if (rigidMesh_)
        rigidMesh_->setPlacement(&position, &n, &forward, &baseRotation, &rotation);
    if (light_) {
        const float3 world = position + owner_->hostPosition;
        light_->setPlacement(&world, &n, &forward, &baseRotation, &rotation);
        const int16_t on = dataValue > kLightOnAbove ? 1 : 0;
        if (on != lightState_) {
            lightState_ = on;
            light_->setEnabled(on == 1);
        }
    }
}

void Prop::releaseHostResources()
{
    if (container_ && rigidMesh_) {
        rigidMesh_->detach();
        container_->deleteRigidMesh(rigidMesh_);
    }
    rigidMesh_ = nullptr;
    if (light_) {
        endLifetime(light_);
        if (owner_->hostObject)
            owner_->hostObject->deleteSpotLight(light_);
    }
    light_ = nullptr;
}

void Prop::destroy()
{
    releaseHostResources();
    meshName_.clear();
}

} // namespace VadiZov
