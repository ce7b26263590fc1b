#include "object/bobject_rails.h"

#include <cfloat>

#include "base/bconstants.h"
#include "base/blog.h"
#include "base/bscript_values.h"
#include "object/bobject.h"

namespace VadiZov {

namespace {

bool validRail(const BeamObjectImpl& object, int rail, bool allowAny)
{
    return (rail >= 0 || (allowAny && rail == -1)) && rail < int(object.rails.size());
}

bool inNodeCapacity(int node) { return node >= 0 && node < kMaxNodes; }

bool validSlideNode(const BeamObjectImpl& object, int id)
{
    return id >= 0 && id < int(object.slideNodes.size());
}

void appendLink(Rail& rail, const RailLink& link)
{
    if (!rail.looped) {
        rail.links.push_back(link);
    } else if (rail.links.empty()) {
        rail.links.push_back(link);
        rail.links.push_back(link);
    } else {
        // The last link is the closing copy of the first: the new link goes before it.
        rail.links.back() = link;
        rail.links.push_back(rail.links.front());
    }
}

size_t railLinkCount(const BeamObjectImpl& object)
{
    size_t links = 0;
    for (const Rail& rail : object.rails)
        links += rail.links.size();
    return links;
}

// Spring, slack and forces a slide node can be built with: a NaN or an absurd spring or slack
// would push the node (and, through the rail, the body) to infinity.
bool usableSlideNumbers(float slack, float spring, float breakForce, float stopBreakForce)
{
    constexpr const char* kMember = "addSlidenode";
    return acceptNumber(kMember, "slack", slack, kMaxScriptCoordinate) && acceptNumber(kMember, "spring", spring) &&
           acceptLimit(kMember, "break force", breakForce) && acceptLimit(kMember, "stop break force", stopBreakForce);
}

void moveNode(BeamObjectImpl& object, int node, const float3& pos)
{
    object.nodes[node].pos = pos;
    object.nodes[node].worldPos = object.originOffset + pos;
    for (auto& buffer : object.renderPositions)
        buffer[node] = RenderPosition{pos.x, 0.0f, pos.y, pos.z};
    object.nodeProperties[node].spawnPos = pos;
}

} // namespace

int addRail(BeamObjectImpl& object, int looped)
{
    if (!roomFor("addRail", object.rails.size(), kMaxRails, "rails"))
        return -1;
    Rail rail;
    rail.looped = looped == 1;
    object.rails.push_back(rail);
    object.builtRails.push_back(rail);
    return int(object.rails.size()) - 1;
}

int addRailLink(BeamObjectImpl& object, int rail, int node, int stop, int broken)
{
    if (!validRail(object, rail, false)) {
        logMessage(LOG_ERROR, "*** addRailLink: invalid railId", true);
        return -1;
    }
    // Scripts may declare rails before their nodes: only ids that can never be nodes are refused
    // (the node records are a fixed array, so a link to a node not defined yet reads a record
    // that exists; addSlidenode takes the same range).
    if (!inNodeCapacity(node)) {
        logMessage(LOG_ERROR, "*** addRailLink: invalid nodeId", true);
        return -1;
    }
    // A looped rail's first link takes two entries (it is its own closing copy).
    const Rail& target = object.rails[size_t(rail)];
    const size_t entries = target.looped && target.links.empty() ? 2 : 1;
    if (!roomFor("addRailLink", railLinkCount(object) + entries - 1, kMaxRailLinks, "rail links"))
        return -1;
    const RailLink link{node, uint8_t(stop == 1), uint8_t(broken == 1)};
    Rail& current = object.rails[size_t(rail)];
    appendLink(current, link);
    appendLink(object.builtRails[size_t(rail)], link);
    return int(current.links.size()) - (current.looped ? 2 : 1);
}

void breakRails(BeamObjectImpl& object, int beam)
{
    if (beam < 0 || beam >= object.beam_count)
        return;
    const int a = object.beams[beam].node1, b = object.beams[beam].node2;
    for (Rail& rail : object.rails) {
        for (size_t i = 0; i + 1 < rail.links.size(); ++i) {
            const int from = rail.links[i].node, to = rail.links[i + 1].node;
            if ((from == a && to == b) || (from == b && to == a))
                rail.links[i].broken = 1;
        }
    }
}

int addSlidenode(BeamObjectImpl& object, int node, int rail, int attach, int snap, float slack, float spring,
                 float breakForce, float stopBreakForce)
{
    if (!validRail(object, rail, true)) {
        logMessage(LOG_ERROR, "*** addSlidenode: invalid railId", true);
        return -1;
    }
    if (!inNodeCapacity(node)) {
        logMessage(LOG_ERROR, "*** addSlidenode: invalid nodeId", true);
        return -1;
    }
    if (!usableSlideNumbers(slack, spring, breakForce, stopBreakForce) ||
        !roomFor("addSlidenode", object.slideNodes.size(), kMaxSlideNodes, "slide nodes"))
        return -1;
    auto positive = [](float v) { return v > 0.0f ? v : 0.0f; };
    const SlideNode record{-1, node, rail, positive(spring), slack, positive(breakForce), positive(spring),
                           positive(stopBreakForce)};
    object.slideNodes.push_back(record);
    const int id = int(object.slideNodes.size()) - 1;
    if (attach == 1)
        attachSlidenodeToRail(object, id, snap == 1);
    object.builtSlideNodes.push_back(object.slideNodes.back());  // a snapped node is built where it landed
    return id;
}

int attachSlidenode(BeamObjectImpl& object, int slideNode, int rail)
{
    if (!validSlideNode(object, slideNode) || !validRail(object, rail, true)) {
        logMessage(LOG_ERROR, "*** addSlidenode: invalid railId", true);
        return 0;
    }
    SlideNode& record = object.slideNodes[size_t(slideNode)];
    record.rail = rail;
    record.segment = -1;
    attachSlidenodeToRail(object, slideNode, false);
    return record.segment != -1 ? 1 : 0;
}

void detachSlidenode(BeamObjectImpl& object, int slideNode)
{
    if (!validSlideNode(object, slideNode)) {
        logMessage(LOG_ERROR, "*** addSlidenode: invalid railId", true);
        return;
    }
    object.slideNodes[size_t(slideNode)].segment = -1;
}

bool attachSlidenodeToRail(BeamObjectImpl& object, int slideNode, bool snap)
{
    SlideNode& record = object.slideNodes[size_t(slideNode)];
    if (!validRail(object, record.rail, true)) {
        logMessage(LOG_ERROR, "*** addSlidenode: invalid railId", true);
        return false;
    }
    if (!inNodeCapacity(record.node)) {
        logMessage(LOG_ERROR, "*** addSlidenode: invalid nodeId", true);
        return false;
    }
    RailSearch search;
    search.best = FLT_MAX;
    int chosen = -1;
    if (record.rail == -1) {
        for (int r = 0; r < int(object.rails.size()); ++r)
            if (findNearestRailSegment(object, record.node, r, search))
                chosen = r;
    } else if (findNearestRailSegment(object, record.node, record.rail, search)) {
        chosen = record.rail;
    }
    if (chosen < 0) {
        record.segment = -1;
        return false;
    }
    record.rail = chosen;
    record.segment = search.segment;
    if (snap && record.slack < search.best) {
        const std::vector<RailLink>& links = object.rails[size_t(chosen)].links;
        const float3& a = object.nodes[links[size_t(search.segment)].node].pos;
        const float3& b = object.nodes[links[size_t(search.segment) + 1].node].pos;
        const float3 onRail = a + (b - a) * search.parameter;
        moveNode(object, record.node, onRail + search.offset * (record.slack / (search.best + kLengthEpsilon)));
    }
    return true;
}

bool findNearestRailSegment(const BeamObjectImpl& object, int node, int rail, RailSearch& search)
{
    const std::vector<RailLink>& links = object.rails[size_t(rail)].links;
    const float3 n = object.nodes[node].pos;
    bool improved = false;
    auto consider = [&](int segment, float parameter, const float3& offset) {
        const float d = offset.length();
        if (d < search.best) {
            search = RailSearch{segment, parameter, d, offset};
            improved = true;
        }
    };
    for (size_t i = 0; i + 1 < links.size(); ++i) {
        if (links[i].broken)
            continue;
        const float3& a = object.nodes[links[i].node].pos;
        const float3& b = object.nodes[links[i + 1].node].pos;
        const float u = railParameter(a, b, n);
        if (u >= 0.0f && u <= 1.0f)
            consider(int(i), u, n - (a + (b - a) * u));
        else  // off the segment (or NaN): measured to its start
            consider(int(i), 0.0f, n - a);
    }
    // The far end, even when the last segment is broken.
    if (links.size() >= 2)
        consider(int(links.size()) - 2, 1.0f, n - object.nodes[links.back().node].pos);
    return improved;
}

} // namespace VadiZov
