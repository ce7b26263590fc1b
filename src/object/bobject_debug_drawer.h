// The object's debug-draw collector (Lua class debugdrawer): the collector's lists and views
// (bdebug_collector.h), and drawing of the object's own nodes, beams and collision triangles into
// them by id. Invalid ids draw nothing.
#pragma once

#include "debug/bdebug_collector.h"
#include "velkor/types.h"

namespace VadiZov {

class BeamObjectImpl;

class debugdrawer : public DebugCollector {
public:
    explicit debugdrawer(BeamObjectImpl& owner);

    // ---- drawing operations (Lua); invalid ids append nothing
    void drawNodeLine(int node1, int node2, const color& c);
    void drawBeamColor(int beam, const color& c);
    void drawBeamAlpha(int beam, int alpha);
    void drawBeam(int beam);
    // Mode 1 skips broken beams, mode 3 takes only them, any other mode takes every beam.
    void drawBeams(int mode);
    void drawBeam3d(int beam, float radius, const color& c);
    void drawNodeSphere(int node, float radius, const color& c);
    void drawNodeText(int node, const color& c, const char* text, float maxDistance);
    void drawNodeTextWithOffset(int node, const color& c, const float3& offset, const char* text, float maxDistance);
    void drawNodeNumbers(const color& c, float maxDistance);
    // Mode 0 only: every intact collision triangle as three edges, then as a face.
    void drawColTris(int mode, const color& edge, const color& face);

    const BeamObjectImpl& owner() const { return owner_; }

private:
    bool validNode(int node) const;
    bool validBeam(int beam) const;
    const float3& nodePosition(int node) const;

    BeamObjectImpl& owner_;
};

// The colour a beam of this type is drawn in: broken beams are always opaque red; every other
// type keeps the caller's alpha (its low 8 bits).
color beamTypeColor(int beamType, int alpha);

} // namespace VadiZov
