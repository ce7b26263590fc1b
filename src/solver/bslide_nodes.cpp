#include "solver/bslide_nodes.h"

#include <algorithm>
#include <vector>

#include "base/bconstants.h"
#include "object/bobject_records.h"

namespace VadiZov {

namespace {

constexpr int kDetached = -1;

struct SlideContext {
    BeamObjectRecords& object;
    const std::vector<RailLink>& links;
    SlideNode& slide;

    const float3& linkPos(int link) const { return object.nodes[links[size_t(link)].node].pos; }
    const float3& nodePos() const { return object.nodes[slide.node].pos; }
    int lastSegment() const { return int(links.size()) - 2; }
    float parameter(int segment) const { return railParameter(linkPos(segment), linkPos(segment + 1), nodePos()); }

    // A spring of the given stiffness pulling the node towards the link's node; false (and no
    // force) when it reaches the limit.
    bool holdAtLink(int link, float spring, float limit)
    {
        const float3 away = nodePos() - linkPos(link);
        const float distance = away.length();
        const float f = spring * std::max(distance - slide.slack, 0.0f);
        if (!(f < limit))
            return false;
        const float3 pull = away * (f / (distance + kLengthEpsilon));
        object.nodes[slide.node].force -= pull;
        object.nodes[links[size_t(link)].node].force += pull;
        return true;
    }

    // The spring towards the nearest point of the line; the rail's two nodes take the reaction
    // in proportion to where that point lies.
    void segmentForce(int segment, float q)
    {
        const float3& a = linkPos(segment);
        const float3& b = linkPos(segment + 1);
        const float3 d = (a + (b - a) * q) - nodePos();
        const float distance = d.length();
        const float f = slide.spring * std::max(distance - slide.slack, 0.0f);
        if (f >= slide.breakForce) {
            slide.segment = kDetached;
            return;
        }
        const float3 pull = d * (f / (distance + kLengthEpsilon));
        object.nodes[slide.node].force += pull;
        object.nodes[links[size_t(segment)].node].force -= pull * (1.0f - q);
        object.nodes[links[size_t(segment) + 1].node].force -= pull * q;
    }

    // The node left its segment: walk the rail in its direction of travel until a segment
    // holds it, or the node sits outside a corner, or there is nowhere left to go.
    void travel(float q)
    {
        const bool forward = q > 1.0f;
        const int direction = forward ? 1 : -1;
        const int start = slide.segment;
        int segment = start;
        int previous = start;
        bool flipped = false;
        for (;;) {
            previous = segment;
            segment += direction;
            if (segment < 0 || segment > lastSegment()) {
                if (!object.rails[size_t(slide.rail)].looped) {
                    slide.segment = kDetached;  // ran off an open rail
                    return;
                }
                segment = segment < 0 ? lastSegment() : 0;
            }
            if (links[size_t(segment)].broken || segment == start) {
                slide.segment = kDetached;
                return;
            }
            q = parameter(segment);
            if (q >= 0.0f && q <= 1.0f)
                break;
            if ((q >= 0.0f) != forward) {
                flipped = true;
                break;
            }
        }
        // Held outside a corner, the node stays on the segment it reached the corner along:
        // taking the next one would send it back and forth between the two every substep.
        if (flipped && holdAtLink(q > 1.0f ? segment + 1 : segment, slide.spring, slide.breakForce)) {
            slide.segment = previous;
            return;
        }
        slide.segment = segment;
        segmentForce(segment, q);
    }

    void step()
    {
        const int segment = slide.segment;
        if (links[size_t(segment)].broken) {
            slide.segment = kDetached;
            return;
        }
        const float q = parameter(segment);
        if (q >= 0.0f && q <= 1.0f) {
            segmentForce(segment, q);
            return;
        }
        const int passed = q > 1.0f ? segment + 1 : segment;
        if (links[size_t(passed)].isStop && holdAtLink(passed, slide.stopSpring, slide.stopBreakForce))
            return;
        travel(q);
    }
};

} // namespace

void applySlideNodeForces(BeamObjectRecords& object)
{
    for (SlideNode& slide : object.slideNodes) {
        if (slide.segment == kDetached)
            continue;
        // Rails are only appended to and nodes checked when added, so an attached node always
        // has its segment; the guard keeps a hand-edited record from reading past the links.
        if (slide.rail < 0 || size_t(slide.rail) >= object.rails.size() ||
            size_t(slide.segment) + 1 >= object.rails[size_t(slide.rail)].links.size()) {
            slide.segment = kDetached;
            continue;
        }
        SlideContext{object, object.rails[size_t(slide.rail)].links, slide}.step();
    }
}

} // namespace VadiZov
