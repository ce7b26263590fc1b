// The collision tree's query index on its own: for each lane width the CPU has, every query
// returns exactly the items inside the box in fill order, also after a smaller fill replaces a
// larger one, and nothing once cleared.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <vector>

#include "base/bsimd.h"
#include "contact/btree_query_index.h"

using namespace VadiZov;

namespace {

struct Box {
    int32_t lo[3], hi[3];
};

std::vector<uint32_t> scanInOrder(const std::vector<TreeSlot>& slots, const std::vector<int32_t>& order, int count,
                                  const Box& box)
{
    std::vector<uint32_t> ids;
    for (int i = 0; i < count; ++i) {
        const TreeSlot& s = slots[size_t(order[size_t(i)])];
        bool inside = true;
        for (int a = 0; a < 3; ++a)
            inside = inside && s.key[a] >= box.lo[a] && s.key[a] <= box.hi[a];
        if (inside)
            ids.push_back(treeIdWord(s.node, s.object));
    }
    return ids;
}

std::vector<SimdKernel> kernelsHere()
{
    std::vector<SimdKernel> kernels{SimdKernel::Sse2};
    if (simdKernelSupported(SimdKernel::Avx2))
        kernels.push_back(SimdKernel::Avx2);
    return kernels;
}

} // namespace

TEST(TreeQueryIndex, FindsExactlyTheItemsInsideInFillOrderAtEveryWidth)
{
    constexpr int kCapacity = 1500;
    for (const SimdKernel kernel : kernelsHere()) {
        std::mt19937 rng(3);
        // Keys on a coarse range, so that many are equal and many sit on a box face; a few dead.
        auto key = [&] { return rng() % 16 == 0 ? INT32_MIN : int32_t(rng() % 41) - 20; };
        std::vector<TreeSlot> slots(kCapacity);
        for (int i = 0; i < kCapacity; ++i)
            slots[size_t(i)] = TreeSlot{{key(), key(), key()}, int16_t(i), int16_t(i % 3)};
        std::vector<int32_t> order(kCapacity);
        for (int i = 0; i < kCapacity; ++i)
            order[size_t(i)] = i;
        TreeQueryIndex index;
        ASSERT_TRUE(index.allocate(kCapacity));
        index.useKernel(kernel);
        std::vector<uint32_t> out(kCapacity);
        // Larger and smaller fills in turn: what a larger fill left must not be found.
        for (const int count : {kCapacity, 5, 0, 283, 1, 1000, 64}) {
            std::shuffle(order.begin(), order.end(), rng);
            index.fill(slots.data(), order.data(), count);
            for (int q = 0; q < 200; ++q) {
                Box box;
                for (int a = 0; a < 3; ++a) {
                    const int32_t x = int32_t(rng() % 51) - 25, y = int32_t(rng() % 51) - 25;
                    box.lo[a] = std::min(x, y);
                    box.hi[a] = q == 0 ? INT32_MAX : std::max(x, y);  // the first box holds every live key
                }
                const int found = index.query(out.data(), box.lo, box.hi);
                ASSERT_EQ(std::vector<uint32_t>(out.begin(), out.begin() + found), scanInOrder(slots, order, count, box))
                    << "kernel " << int(kernel) << ", " << count << " items, query " << q;
            }
        }
        index.clear();
        const Box everything{{INT32_MIN + 1, INT32_MIN + 1, INT32_MIN + 1}, {INT32_MAX, INT32_MAX, INT32_MAX}};
        EXPECT_EQ(index.query(out.data(), everything.lo, everything.hi), 0);
    }
}
