// A checksum over the exact bits of results, for tests that pin a scene's outcome bit for bit
// against a value recorded earlier: any change of one bit anywhere changes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "velkor/types.h"

namespace VadiZov::testing {

class BitChecksum {
public:
    void add(const void* data, size_t size)
    {
        const unsigned char* bytes = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i) {
            value_ ^= bytes[i];
            value_ *= 0x100000001b3ull;  // 64-bit FNV-1a
        }
    }
    void add(const float3& v)
    {
        const float xyz[3] = {v.x, v.y, v.z};
        add(xyz, sizeof(xyz));
    }
    template <class Integer>
    void addInteger(Integer v)
    {
        add(&v, sizeof(v));
    }
    uint64_t value() const { return value_; }

private:
    uint64_t value_ = 0xcbf29ce484222325ull;
};

} // namespace VadiZov::testing
