// One slot of the collision tree: where a colliding node is this substep, as sortable integer
// keys, and whose node it is. The core thread writes the keys; the worker writes the ids.
#pragma once

#include <cstdint>

namespace VadiZov {

struct TreeSlot {
    int32_t key[3];
    int16_t node;
    int16_t object;
};
static_assert(sizeof(TreeSlot) == 16, "tree slots are 16 bytes");

// The slot's id word as queries return it.
inline uint32_t treeIdWord(int node, int object)
{
    return uint32_t(uint16_t(node)) | (uint32_t(uint16_t(object)) << 16);
}
inline int treeIdNode(uint32_t word) { return int16_t(word & 0xFFFFu); }
inline int treeIdObject(uint32_t word) { return int16_t(word >> 16); }

} // namespace VadiZov
