#include "solver/bforce_slots.h"

#include <algorithm>
#include <cstddef>

#include "base/bassert.h"
#include "base/bsimd.h"
#include "object/bobject_records.h"

namespace VadiZov {

namespace {

constexpr int32_t kPlus = int32_t(offsetof(BeamForce, plus));
constexpr int32_t kMinus = int32_t(offsetof(BeamForce, minus));
constexpr int32_t kPadEntry = int32_t(kMaxBeams * sizeof(BeamForce)) + kPlus;

inline const ForceSlot& slotAt(const ForceSlots& s, int32_t entry)
{
    return *reinterpret_cast<const ForceSlot*>(reinterpret_cast<const char*>(s.force) + entry);
}

inline int32_t entryOf(int beam, int32_t end) { return int32_t(beam * sizeof(BeamForce)) + end; }

// Each node's ends in beam order, as entries (node1 before node2 when a beam has one node
// twice, the direct loop's order). Returns the node span: nodes past it have no end.
int listEnds(const BeamObjectRecords& object, int32_t* first, int32_t* ends)
{
    int span = 0;
    std::fill(first, first + kMaxNodes + 1, 0);
    for (int b = 0; b < object.beam_count; ++b) {
        const BeamCore& beam = object.beams[b];
        VELKOR_ASSERT(beam.node1 >= 0 && beam.node1 < kMaxNodes && beam.node2 >= 0 && beam.node2 < kMaxNodes,
                      "a beam names a node outside the node array: the builder must reject it");
        first[beam.node1 + 1] += 1;
        first[beam.node2 + 1] += 1;
        span = std::max(span, std::max(int(beam.node1), int(beam.node2)) + 1);
    }
    for (int n = 0; n < kMaxNodes; ++n)
        first[n + 1] += first[n];
    int32_t next[kMaxNodes];
    std::copy(first, first + kMaxNodes, next);
    for (int b = 0; b < object.beam_count; ++b) {
        const BeamCore& beam = object.beams[b];
        ends[next[beam.node1]++] = entryOf(b, kPlus);
        ends[next[beam.node2]++] = entryOf(b, kMinus);
    }
    return span;
}

// s.summed: the nodes that have beam ends, most ends first (in node order among equals), so
// that the eight nodes of a group have lists of about one length and little padding.
int orderByEnds(ForceSlots& s, const int32_t* first, int span)
{
    int count = 0;
    for (int n = 0; n < span; ++n)
        if (first[n + 1] > first[n])
            s.summed[count++] = int16_t(n);
    auto ends = [first](int n) { return first[n + 1] - first[n]; };
    std::stable_sort(s.summed, s.summed + count, [&](int16_t a, int16_t b) { return ends(a) > ends(b); });
    return count;
}

// Interleaves the lists of `width` nodes per group; false when the padding does not fit.
bool placeGroups(ForceSlots& s, const int32_t* first, const int32_t* ends, int width)
{
    int at = 0;
    for (int g = 0; g * width < s.summedCount; ++g) {
        const int lo = g * width;
        const int count = std::min(width, s.summedCount - lo);
        int rows = 0;
        for (int j = 0; j < count; ++j)
            rows = std::max(rows, first[s.summed[lo + j] + 1] - first[s.summed[lo + j]]);
        if (at + rows * width > ForceSlots::kPadEntries)
            return false;
        for (int r = 0; r < rows; ++r)
            for (int j = 0; j < width; ++j) {
                const int n = j < count ? s.summed[lo + j] : 0;
                const bool has = j < count && r < first[n + 1] - first[n];
                s.entries[at++] = has ? ends[first[n] + r] : kPadEntry;
            }
        s.groupRows[g] = rows;
    }
    return true;
}

void buildMap(ForceSlots& s, const BeamObjectRecords& object)
{
    static_assert(2 * kMaxBeams <= ForceSlots::kPadEntries);
    int32_t first[kMaxNodes + 1];
    const int span = listEnds(object, first, s.listed);
    s.summedCount = orderByEnds(s, first, span);
    s.grouped = placeGroups(s, first, s.listed, ForceSlots::kGroup);
    if (!s.grouped)
        placeGroups(s, first, s.listed, 1);  // no padding: always fits
    writeNoForceSlot(s, kMaxBeams);  // what padding entries name
    s.mappedBeams = object.beam_count;
    s.mappedEndsVersion = object.beamEndsVersion;
}

inline void addSlot(float3& force, const ForceSlot& f)
{
    force.x += f.x;
    force.y += f.y;
    force.z += f.z;
}

// The nodes node[0, count) at once, one chain each.
template <int width>
inline void sumGroup(BeamObjectRecords& object, const ForceSlots& s, const int16_t* node, int count,
                     const int32_t* entry, int rows)
{
#ifdef VELKOR_HAVE_SIMD
    using namespace simd;
    // Lane 3 holds the ids after force: cleared, summed, never stored.
    const Float4 xyz = laneMask4(true, true, true, false);
    Float4 sum[width];
    for (int j = 0; j < width; ++j)
        sum[j] = j < count ? keepLanes(load4Aligned(&object.nodes[node[j]].force.x), xyz) : splat4(0.0f);
    for (int r = 0; r < rows; ++r, entry += width)
        for (int j = 0; j < width; ++j)
            sum[j] = add(sum[j], load4Aligned(&slotAt(s, entry[j]).x));
    for (int j = 0; j < count; ++j)
        store3(&object.nodes[node[j]].force.x, sum[j]);
#else
    for (int r = 0; r < rows; ++r, entry += width)
        for (int j = 0; j < count; ++j)
            addSlot(object.nodes[node[j]].force, slotAt(s, entry[j]));
#endif
}

template <int width>
void sumAll(BeamObjectRecords& object, const ForceSlots& s)
{
    const int32_t* entry = s.entries;
    for (int g = 0; g * width < s.summedCount; ++g) {
        const int lo = g * width;
        sumGroup<width>(object, s, s.summed + lo, std::min(width, s.summedCount - lo), entry, s.groupRows[g]);
        entry += s.groupRows[g] * width;
    }
}

} // namespace

void beginForceSlots(ForceSlots& s, const BeamObjectRecords& object)
{
    if (s.mappedBeams != object.beam_count || s.mappedEndsVersion != object.beamEndsVersion)
        buildMap(s, object);
    s.collecting = true;
}

void settleForceSlots(ForceSlots& s, BeamObjectRecords& object, int beam)
{
    if (!s.collecting)
        return;
    s.collecting = false;
    for (int b = 0; b < beam; ++b) {
        const BeamCore& core = object.beams[b];
        addSlot(object.nodes[core.node1].force, s.force[b].plus);
        addSlot(object.nodes[core.node2].force, s.force[b].minus);
    }
}

void finishForceSlots(ForceSlots& s, BeamObjectRecords& object)
{
    if (!s.collecting)
        return;
    s.collecting = false;
    if (s.grouped)
        sumAll<ForceSlots::kGroup>(object, s);
    else
        sumAll<1>(object, s);
}

} // namespace VadiZov
