// A rigid host mesh or a host spot light riding on three nodes of an object. Lua sets the nodes
// and offsets and calls initialize; the object's graphics update places it every frame.
#pragma once

#include <cstdint>
#include <string>

#include "velkor/types.h"

namespace VadiZov {

class BeamObjectImpl;
class ResourceContainer;
class RigidMesh;
class SpotLight;

class Prop {
public:
    // The fields Lua sees, in their order.
    int nRef = 0;
    int nX = 0;
    int nY = 0;
    float3 baseTranslation;  // x FLT_MAX: not given, computed from the mesh by initialize
    float3 translation;
    float3 baseRotation;
    float3 rotation;
    float dataValue = 0.0f;  // a light is on above 0.0001
    int slotID = 0;

    // A null name is the empty name. The prop is registered for Lua's liveness checks until
    // destroy.
    static Prop* create(BeamObjectImpl* owner, int slot, const char* meshName, ResourceContainer* container);
    ~Prop();
    Prop(const Prop&) = delete;
    Prop& operator=(const Prop&) = delete;

    void initialize();
    void updatePlacement();
    // Gives the mesh or light back to the host; the caller then deletes the prop.
    void destroy();

    SpotLight* light() const { return light_; }
    RigidMesh* rigidMesh() const { return rigidMesh_; }
    bool baseTranslationGiven() const { return baseTranslationGiven_; }
    const std::string& meshName() const { return meshName_; }

private:
    Prop(BeamObjectImpl* owner, int slot, const char* meshName, ResourceContainer* container);
    bool hasValidNodes() const;
    void releaseHostResources();
    void computeBaseTranslation(const float3& meshPosition);
    // Whether baseTranslation is still what computeBaseTranslation last wrote.
    bool holdsComputedBaseTranslation() const;

    bool baseTranslationGiven_ = false;  // set by Lua before the last initialize
    bool baseTranslationComputed_ = false;
    float3 computedBaseTranslation_;
    bool placementRefused_ = false;  // a placement that was not finite was logged
    int16_t lightState_ = -1;  // last state sent: -1 none yet, 0 off, 1 on
    SpotLight* light_ = nullptr;
    BeamObjectImpl* owner_ = nullptr;
    RigidMesh* rigidMesh_ = nullptr;
    ResourceContainer* container_ = nullptr;
    std::string meshName_;
};

} // namespace VadiZov
