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

int groupsFor(int items) { return (items + kWidth - 1) / kWidth; }
int roundUp(int n, int multiple) { return (n + multiple - 1) / multiple * multiple; }

// The query box as the overlap test reads it.
struct QueryBox {
#ifdef VELKOR_HAVE_SIMD
    simd::Int4 lo[3], hi[3];
    QueryBox(const int32_t qmin[3], const int32_t qmax[3])
    {
        for (int a = 0; a < 3; ++a) {
            lo[a] = simd::splat4i(qmin[a]);
            hi[a] = simd::splat4i(qmax[a]);
        }
    }
#else
    const int32_t* lo;
    const int32_t* hi;
    QueryBox(const int32_t qmin[3], const int32_t qmax[3]) : lo(qmin), hi(qmax) {}
#endif
};

// Bit j set where item first + j, the box lo..hi on every axis (a key where lo and hi are the
// same arrays), overlaps the query box.
// Inlined: the query calls it for every block run, block and group it looks at.
[[gnu::always_inline]] inline unsigned overlapBits(const int32_t* const lo[3], const int32_t* const hi[3], int first,
                                                  const QueryBox& q)
{
#ifdef VELKOR_HAVE_SIMD
    using namespace simd;
    Int4 outA = greater(load4i(lo[0] + first), q.hi[0]);
    Int4 outB = greater(load4i(lo[0] + first + 4), q.hi[0]);
    outA = either(outA, greater(q.lo[0], load4i(hi[0] + first)));
    outB = either(outB, greater(q.lo[0], load4i(hi[0] + first + 4)));
    for (int a = 1; a < 3; ++a) {
        outA = either(outA, either(greater(load4i(lo[a] + first), q.hi[a]), greater(q.lo[a], load4i(hi[a] + first))));
        outB = either(outB, either(greater(load4i(lo[a] + first + 4), q.hi[a]),
                                   greater(q.lo[a], load4i(hi[a] + first + 4))));
    }
    return ~unsigned(laneBits(outA) | (laneBits(outB) << 4)) & 0xFFu;
#else
    unsigned bits = 0;
    for (int j = 0; j < kWidth; ++j) {
        bool inside = true;
        for (int a = 0; a < 3; ++a)
            inside = inside && lo[a][first + j] <= q.hi[a] && hi[a][first + j] >= q.lo[a];
        bits |= unsigned(inside) << j;
    }
    return bits;
#endif
}

} // namespace

bool TreeQueryIndex::allocate(int capacity)
{
    release();
    // Whole blocks, and whole runs of eight blocks, so that every test reads eight items.
    const int blocks = roundUp(groupsFor(groupsFor(std::max(capacity, 1))), kWidth);
    const int groups = blocks * kWidth;
    const int items = groups * kWidth;
    const size_t words = size_t(items) * 4 + size_t(groups) * 6 + size_t(blocks) * 6;
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
    count_ = 0;
    return true;
}

void TreeQueryIndex::release()
{
    if (storage_)
        ::operator delete[](storage_, kAlign);
    storage_ = nullptr;
    capacity_ = 0;
    count_ = 0;
}

void TreeQueryIndex::fill(const TreeSlot* slots, const int32_t* order, int count)
{
    count = std::clamp(count, 0, capacity_);
    // Items a larger earlier fill left behind are dropped first.
    for (int i = count; i < count_; ++i)
        keys_[0][i] = keys_[1][i] = keys_[2][i] = INT32_MIN;
    for (int i = 0; i < count; ++i) {
        const TreeSlot& s = slots[order[i]];
        keys_[0][i] = s.key[0];
        keys_[1][i] = s.key[1];
        keys_[2][i] = s.key[2];
        ids_[i] = treeIdWord(s.node, s.object);
    }
    fillBoxes(keys_, keys_, count, count_, groupLo_, groupHi_);
    fillBoxes(groupLo_, groupHi_, groupsFor(count), groupsFor(count_), blockLo_, blockHi_);
    count_ = count;
}

// Boxes over runs of eight items; runs past the items, up to the earlier fill's, get the empty
// box.
void TreeQueryIndex::fillBoxes(const int32_t* const lo[3], const int32_t* const hi[3], int items, int earlierItems,
                               int32_t* boxLo[3], int32_t* boxHi[3])
{
    const int boxes = groupsFor(std::max(items, earlierItems));
    for (int b = 0; b < boxes; ++b) {
        const int first = b * kWidth, end = std::min(first + kWidth, items);
        for (int a = 0; a < 3; ++a) {
            int32_t l = INT32_MAX, h = INT32_MIN;
            for (int i = first; i < end; ++i) {
                l = std::min(l, lo[a][i]);
                h = std::max(h, hi[a][i]);
            }
            boxLo[a][b] = l;
            boxHi[a][b] = h;
        }
    }
}

int TreeQueryIndex::query(uint32_t* out, const int32_t qmin[3], const int32_t qmax[3]) const
{
    const QueryBox q(qmin, qmax);
    const int blocks = groupsFor(groupsFor(count_));
    int found = 0;
    for (int first = 0; first < blocks; first += kWidth) {
        for (unsigned blockHits = overlapBits(blockLo_, blockHi_, first, q); blockHits; blockHits &= blockHits - 1) {
            const int groupsFirst = (first + std::countr_zero(blockHits)) * kWidth;
            for (unsigned groupHits = overlapBits(groupLo_, groupHi_, groupsFirst, q); groupHits;
                 groupHits &= groupHits - 1) {
                const int itemsFirst = (groupsFirst + std::countr_zero(groupHits)) * kWidth;
                for (unsigned inside = overlapBits(keys_, keys_, itemsFirst, q); inside; inside &= inside - 1)
                    out[found++] = ids_[itemsFirst + std::countr_zero(inside)];
            }
        }
    }
    return found;
}

} // namespace VadiZov
