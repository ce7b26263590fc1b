#include "solver/bforce_slots.h"

#include <algorithm>
#include <cstddef>

#include "base/bassert.h"
#include "base/bsimd.h"
#include "object/bobject.h"

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
// twice, the direct loop's order). Returns the node span.
int listEnds(const BeamObjectImpl& object, int32_t* first, int32_t* ends)
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

// Interleaves the lists of `width` nodes per group; false when the padding does not fit.
bool placeGroups(ForceSlots& s, const int32_t* first, const int32_t* ends, int span, int width)
{
    int at = 0;
    for (int g = 0; g * width < span; ++g) {
        const int lo = g * width;
        const int hi = std::min(span, lo + width);
        int rows = 0;
        for (int n = lo; n < hi; ++n)
            rows = std::max(rows, first[n + 1] - first[n]);
        if (at + rows * width > ForceSlots::kPadEntries)
            return false;
        for (int r = 0; r < rows; ++r)
            for (int j = 0; j < width; ++j) {
                const int n = lo + j;
                const bool has = n < hi && r < first[n + 1] - first[n];
                s.entries[at++] = has ? ends[first[n] + r] : kPadEntry;
            }
        s.groupRows[g] = rows;
    }
    return true;
}

void buildMap(BeamObjectImpl& object)
{
    ForceSlots& s = object.forceSlots;
    static_assert(2 * kMaxBeams <= ForceSlots::kPadEntries);
    int32_t first[kMaxNodes + 1];
    const int span = listEnds(object, first, s.listed);
    s.grouped = placeGroups(s, first, s.listed, span, ForceSlots::kGroup);
    if (!s.grouped)
        placeGroups(s, first, s.listed, span, 1);  // no padding: always fits
    s.force[kMaxBeams] = BeamForce{{-0.0f, -0.0f, -0.0f, 0.0f}, {-0.0f, -0.0f, -0.0f, 0.0f}};
    s.nodeSpan = span;
    s.mappedBeams = object.beam_count;
    s.stale = false;
}

inline void addSlot(float3& force, const ForceSlot& f)
{
    force.x += f.x;
    force.y += f.y;
    force.z += f.z;
}

// Nodes [lo, lo + width) at once, one chain each.
template <int width>
inline void sumGroup(BeamObjectImpl& object, const ForceSlots& s, int lo, int count, const int32_t* entry, int rows)
{
#ifdef VELKOR_HAVE_SIMD
    using namespace simd;
    // Lane 3 reads the field after force; it is summed but never stored.
    Float4 sum[width];
    for (int j = 0; j < width; ++j)
        sum[j] = j < count ? load4(&object.nodes[lo + j].force.x) : splat4(0.0f);
    for (int r = 0; r < rows; ++r, entry += width)
        for (int j = 0; j < width; ++j)
            sum[j] = add(sum[j], load4Aligned(&slotAt(s, entry[j]).x));
    for (int j = 0; j < count; ++j)
        store3(&object.nodes[lo + j].force.x, sum[j]);
#else
    for (int r = 0; r < rows; ++r, entry += width)
        for (int j = 0; j < count; ++j)
            addSlot(object.nodes[lo + j].force, slotAt(s, entry[j]));
#endif
}

template <int width>
void sumAll(BeamObjectImpl& object, const ForceSlots& s)
{
    const int32_t* entry = s.entries;
    for (int g = 0; g * width < s.nodeSpan; ++g) {
        const int lo = g * width;
        sumGroup<width>(object, s, lo, std::min(width, s.nodeSpan - lo), entry, s.groupRows[g]);
        entry += s.groupRows[g] * width;
    }
}

} // namespace

void beginForceSlots(BeamObjectImpl& object)
{
    ForceSlots& s = object.forceSlots;
    if (s.stale || s.mappedBeams != object.beam_count)
        buildMap(object);
    s.collecting = true;
}

void settleForceSlots(BeamObjectImpl& object, int beam)
{
    ForceSlots& s = object.forceSlots;
    if (!s.collecting)
        return;
    s.collecting = false;
    for (int b = 0; b < beam; ++b) {
        const BeamCore& core = object.beams[b];
        addSlot(object.nodes[core.node1].force, s.force[b].plus);
        addSlot(object.nodes[core.node2].force, s.force[b].minus);
    }
}

void finishForceSlots(BeamObjectImpl& object)
{
    ForceSlots& s = object.forceSlots;
    if (!s.collecting)
        return;
    s.collecting = false;
    if (s.grouped)
        sumAll<ForceSlots::kGroup>(object, s);
    else
        sumAll<1>(object, s);
}

} // namespace VadiZov
