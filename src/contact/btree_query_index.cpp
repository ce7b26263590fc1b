#include "contact/btree_query_index.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <new>

#include "base/bsimd.h"

namespace VadiZov {

namespace {

constexpr std::align_val_t kAlign{16};
constexpr int kWidth = TreeQueryIndex::kWidth;

int roundUp(int n, int multiple) { return (n + multiple - 1) / multiple * multiple; }

// Groups for capacity items: the tree's ranges at the first depth where they hold at most
// kWidth items, and at least one block's worth.
int groupsFor(int capacity)
{
    int groups = kWidth;
    while (groups * kWidth < capacity)
        groups *= 2;
    return groups;
}

// The query box as the overlap tests read it, and the test: bit j set where item first + j,
// the box lo..hi on every axis (a key where lo and hi are the same arrays), overlaps the query
// box. Integer comparisons give the same bits at every width. Inlined: a query tests every
// block run, block and group it looks at.
struct NarrowBox {
#ifdef VELKOR_HAVE_SIMD
    simd::Int4 lo[3], hi[3];
    NarrowBox(const int32_t qmin[3], const int32_t qmax[3])
    {
        for (int a = 0; a < 3; ++a) {
            lo[a] = simd::splat4i(qmin[a]);
            hi[a] = simd::splat4i(qmax[a]);
        }
    }
    [[gnu::always_inline]] unsigned overlapBits(const int32_t* const boxLo[3], const int32_t* const boxHi[3],
                                                int first) const
    {
        using namespace simd;
        Int4 outA = either(greater(load4i(boxLo[0] + first), hi[0]), greater(lo[0], load4i(boxHi[0] + first)));
        Int4 outB =
            either(greater(load4i(boxLo[0] + first + 4), hi[0]), greater(lo[0], load4i(boxHi[0] + first + 4)));
        for (int a = 1; a < 3; ++a) {
            outA = either(outA, either(greater(load4i(boxLo[a] + first), hi[a]), greater(lo[a], load4i(boxHi[a] + first))));
            outB = either(outB, either(greater(load4i(boxLo[a] + first + 4), hi[a]),
                                       greater(lo[a], load4i(boxHi[a] + first + 4))));
        }
        return ~unsigned(laneBits(outA) | (laneBits(outB) << 4)) & 0xFFu;
    }
#else
    const int32_t* lo;
    const int32_t* hi;
    NarrowBox(const int32_t qmin[3], const int32_t qmax[3]) : lo(qmin), hi(qmax) {}
    unsigned overlapBits(const int32_t* const boxLo[3], const int32_t* const boxHi[3], int first) const
    {
        unsigned bits = 0;
        for (int j = 0; j < kWidth; ++j) {
            bool inside = true;
            for (int a = 0; a < 3; ++a)
                inside = inside && boxLo[a][first + j] <= hi[a] && boxHi[a][first + j] >= lo[a];
            bits |= unsigned(inside) << j;
        }
        return bits;
    }
#endif
};

#ifdef VELKOR_HAVE_SIMD
struct WideBox {
    simd::Int8 lo[3], hi[3];
    VELKOR_AVX2 WideBox(const int32_t qmin[3], const int32_t qmax[3])
    {
        for (int a = 0; a < 3; ++a) {
            lo[a] = simd::splat8i(qmin[a]);
            hi[a] = simd::splat8i(qmax[a]);
        }
    }
    VELKOR_AVX2 unsigned overlapBits(const int32_t* const boxLo[3], const int32_t* const boxHi[3], int first) const
    {
        using namespace simd;
        Int8 out = either(greater(load8i(boxLo[0] + first), hi[0]), greater(lo[0], load8i(boxHi[0] + first)));
        for (int a = 1; a < 3; ++a)
            out = either(out, either(greater(load8i(boxLo[a] + first), hi[a]), greater(lo[a], load8i(boxHi[a] + first))));
        return ~unsigned(laneBits(out)) & 0xFFu;
    }
};
#endif

// The box of the first n of the eight items from first (none: the empty box, which no query
// overlaps).
void boxOf(const int32_t* const lo[3], const int32_t* const hi[3], int first, int n, int32_t* boxLo[3],
           int32_t* boxHi[3], int box)
{
    for (int a = 0; a < 3; ++a) {
        int32_t l = INT32_MAX, h = INT32_MIN;
        for (int j = 0; j < kWidth; ++j) {
            l = std::min(l, j < n ? lo[a][first + j] : INT32_MAX);
            h = std::max(h, j < n ? hi[a][first + j] : INT32_MIN);
        }
        boxLo[a][box] = l;
        boxHi[a][box] = h;
    }
}

} // namespace

bool TreeQueryIndex::allocate(int capacity)
{
    release();
    const int groups = groupsFor(std::max(capacity, 1));
    // Whole runs of eight blocks, so that every test reads eight boxes.
    const int blocks = roundUp(groups / kWidth, kWidth);
    const int items = groups * kWidth;
    const size_t words = size_t(items) * 5 + size_t(groups + 1) + size_t(groups) * 6 + size_t(blocks) * 6;
    storage_ = static_cast<int32_t*>(::operator new[](sizeof(int32_t) * words, kAlign, std::nothrow));
    if (!storage_)
        return false;
    int32_t* p = storage_;
    auto take = [&p](int n) {
        int32_t* run = p;
        p += n;
        return run;
    };
    for (int a = 0; a < 3; ++a)
        keys_[a] = take(items);
    ids_ = reinterpret_cast<uint32_t*>(take(items));
    for (int a = 0; a < 3; ++a) {
        groupLo_[a] = take(groups);
        groupHi_[a] = take(groups);
        blockLo_[a] = take(blocks);
        blockHi_[a] = take(blocks);
    }
    groupFirst_ = take(groups + 1);
    source_ = take(items);
    // Unused keys lie below every query; unused boxes are empty.
    for (int a = 0; a < 3; ++a) {
        std::fill(keys_[a], keys_[a] + items, INT32_MIN);
        std::fill(groupLo_[a], groupLo_[a] + groups, INT32_MAX);
        std::fill(groupHi_[a], groupHi_[a] + groups, INT32_MIN);
        std::fill(blockLo_[a], blockLo_[a] + blocks, INT32_MAX);
        std::fill(blockHi_[a], blockHi_[a] + blocks, INT32_MIN);
    }
    std::fill(ids_, ids_ + items, 0u);
    capacity_ = capacity;
    groups_ = groups;
    layoutCount_ = -1;
    filled_ = false;
    return true;
}

void TreeQueryIndex::release()
{
    if (storage_)
        ::operator delete[](storage_, kAlign);
    storage_ = nullptr;
    capacity_ = 0;
    groups_ = 0;
    layoutCount_ = -1;
    filled_ = false;
}

// Cuts count items into groups_ ranges by halving, as the tree's build cuts its ranges.
void TreeQueryIndex::layOut(int count)
{
    if (count == layoutCount_)
        return;
    groupFirst_[0] = 0;
    groupFirst_[groups_] = count;
    for (int span = groups_; span > 1; span /= 2)
        for (int g = 0; g < groups_; g += span) {
            const int first = groupFirst_[g], end = groupFirst_[g + span];
            groupFirst_[g + span / 2] = first + (end - first) / 2;
        }
    // Where each item comes from; unused items from just past the last, a dead key.
    for (int g = 0; g < groups_; ++g)
        for (int j = 0; j < kWidth; ++j) {
            const int from = groupFirst_[g] + j;
            source_[g * kWidth + j] = from < groupFirst_[g + 1] ? from : count;
        }
    layoutCount_ = count;
}

void TreeQueryIndex::fill(const TreeSlot* slots, const int32_t* order, int count)
{
    if (!storage_)
        return;
    layOut(std::clamp(count, 0, capacity_));
    for (int g = 0; g < groups_; ++g) {
        const int first = groupFirst_[g], n = groupFirst_[g + 1] - first;
        for (int j = 0; j < kWidth; ++j) {
            const bool used = j < n;
            const TreeSlot& s = slots[order[used ? first + j : 0]];
            for (int a = 0; a < 3; ++a)
                keys_[a][g * kWidth + j] = used ? s.key[a] : INT32_MIN;
        }
    }
    fillIds(slots, order);
    fillBoxes();
}

void TreeQueryIndex::fillFromColumns(const int32_t* const columns[3], const TreeSlot* slots, const int32_t* order,
                                     int count)
{
    if (!storage_)
        return;
    layOut(std::clamp(count, 0, capacity_));
    const int items = groups_ * kWidth;
    for (int a = 0; a < 3; ++a)
        for (int i = 0; i < items; ++i)
            keys_[a][i] = columns[a][source_[i]];
    fillIds(slots, order);
    fillBoxes();
}

void TreeQueryIndex::fillIds(const TreeSlot* slots, const int32_t* order)
{
    for (int g = 0; g < groups_; ++g)
        for (int i = groupFirst_[g]; i < groupFirst_[g + 1]; ++i) {
            const TreeSlot& s = slots[order[i]];
            ids_[g * kWidth + i - groupFirst_[g]] = treeIdWord(s.node, s.object);
        }
}

void TreeQueryIndex::fillBoxes()
{
    for (int g = 0; g < groups_; ++g)
        boxOf(keys_, keys_, g * kWidth, groupFirst_[g + 1] - groupFirst_[g], groupLo_, groupHi_, g);
    for (int b = 0; b < groups_ / kWidth; ++b)
        boxOf(groupLo_, groupHi_, b * kWidth, kWidth, blockLo_, blockHi_, b);
    filled_ = true;
}

int TreeQueryIndex::query(uint32_t* out, const int32_t qmin[3], const int32_t qmax[3]) const
{
    if (!filled_)
        return 0;
#ifdef VELKOR_HAVE_SIMD
    if (wide_)
        return queryWide(out, qmin, qmax);
#endif
    return queryWith(out, NarrowBox(qmin, qmax));
}

#ifdef VELKOR_HAVE_SIMD
// Flattened: the AVX2 tests can only be inlined into a function compiled for AVX2.
[[gnu::flatten]] VELKOR_AVX2 int TreeQueryIndex::queryWide(uint32_t* out, const int32_t qmin[3], const int32_t qmax[3]) const
{
    return queryWith(out, WideBox(qmin, qmax));
}
#endif

template <class Box>
[[gnu::always_inline]] inline int TreeQueryIndex::queryWith(uint32_t* out, const Box& q) const
{
    const int blocks = groups_ / kWidth;
    int found = 0;
    for (int first = 0; first < blocks; first += kWidth) {
        for (unsigned blockHits = q.overlapBits(blockLo_, blockHi_, first); blockHits; blockHits &= blockHits - 1) {
            const int groupsFirst = (first + std::countr_zero(blockHits)) * kWidth;
            for (unsigned groupHits = q.overlapBits(groupLo_, groupHi_, groupsFirst); groupHits;
                 groupHits &= groupHits - 1) {
                const int itemsFirst = (groupsFirst + std::countr_zero(groupHits)) * kWidth;
                for (unsigned inside = q.overlapBits(keys_, keys_, itemsFirst); inside; inside &= inside - 1)
                    out[found++] = ids_[itemsFirst + std::countr_zero(inside)];
            }
        }
    }
    return found;
}

void TreeQueryIndex::useKernel(SimdKernel kernel)
{
#ifdef VELKOR_HAVE_SIMD
    wide_ = kernel == SimdKernel::Avx2 && simdKernelSupported(SimdKernel::Avx2);
#else
    (void)kernel;
#endif
}

} // namespace VadiZov
