// Objects with collision triangles stepped together on the calling thread the way the physics
// worker and the core threads step them (each object with a substep context of its own):
// integrate (writing tree slots), forces, tree build, triangle search, and the worker's
// inter-object contacts.
#pragma once

#include <memory>
#include <stdexcept>
#include <vector>

#include "base/bsettings.h"
#include "contact/bcollision_tree.h"
#include "contact/btriangle_contact.h"
#include "contact/btriangle_search.h"
#include "ground/bground_models.h"
#include "object/bobject.h"
#include "object/bcore_parameters.h"
#include "solver/bsubstep.h"
#include "solver/bsubstep_context.h"

namespace VadiZov::testing {

struct TriangleScene {
    static constexpr int kMaxObjects = 4;

    TriangleScene()
    {
        params.objects = slots;
        params.dt = kSubstepTime;
        params.invDt = kInvSubstepTime;
        params.substeps = 1000000;
        params.currentSubstep = 1;
        params.contactRampFront = 25.0f;
        params.contactRampBack = 99.99999f;
    }

    BeamObjectImpl& addObject()
    {
        if (params.objectCount >= kMaxObjects)
            throw std::length_error("TriangleScene holds at most kMaxObjects objects");
        objects.push_back(std::make_unique<BeamObjectImpl>());
        objects.back()->setScript(nullptr);
        contexts.push_back(std::make_unique<SubstepContext>());
        slots[params.objectCount++] = objects.back().get();
        return *objects.back();
    }
    // The substep context of an object of the scene (what its core thread would own).
    SubstepContext& context(const BeamObjectRecords& object)
    {
        for (int i = 0; i < params.objectCount; ++i)
            if (slots[i] == &object)
                return *contexts[size_t(i)];
        throw std::invalid_argument("not an object of this TriangleScene");
    }
    // Tree slots and result buffer for the objects as they stand (the worker does this when
    // the object set changes).
    void layOut()
    {
        tree.resize(params);
        tree.writeSlotIds(params);
        results.assign(size_t(tree.resultCapacity()), 0);
    }
    // Every object's first half of a substep, then the tree the searches read.
    void stepToSearch()
    {
        for (int i = 0; i < params.objectCount; ++i) {
            BeamSubstep::beginSubstep(*slots[i], params, tree.objectSlots(i), tree.objectSlotCount(i));
            BeamSubstep::forceStage(*slots[i], *contexts[size_t(i)], params);
        }
        tree.beginBuild();
        tree.build();
    }
    void substeps(int n)
    {
        for (int s = 0; s < n; ++s) {
            stepToSearch();
            for (int i = 0; i < params.objectCount; ++i)
                BeamSubstep::contactStage(*slots[i], *contexts[size_t(i)], params, search());
            resolveInterObjectContacts();
        }
    }
    // The worker's step: every object's candidates, in slot order.
    void resolveInterObjectContacts()
    {
        for (int i = 0; i < params.objectCount; ++i)
            VadiZov::resolveInterObjectContacts(params, i, contexts[size_t(i)]->collisionCandidates, scratch);
    }
    TriangleSearch search() { return TriangleSearch{&tree, results.data(), int(results.size())}; }

    std::vector<std::unique_ptr<BeamObjectImpl>> objects;
    std::vector<std::unique_ptr<SubstepContext>> contexts;
    BeamObjectRecords* slots[kMaxObjects] = {};
    core_parameters_t params;
    CollisionTriangleTree tree;
    std::vector<uint32_t> results;
    std::vector<TriangleContact> scratch;
};

// Heavy, weightless nodes: they stay put under every contact force of a test.
inline int anchorNode(BeamObjectImpl& o, const float3& p)
{
    const int n = o.setNode(-1, p, 1e9f, 0, 1.0f, -1, false, false);
    o.nodes[n].gravityForce = 0.0f;
    return n;
}

} // namespace VadiZov::testing
