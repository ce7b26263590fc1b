// A soft-body lattice for solver tests and benchmarks: nodes on a box grid joined by normal
// beams to their axis neighbours and then face diagonals, up to a beam budget.
#pragma once

#include <memory>

#include "object/bobject.h"
#include "base/bsettings.h"

namespace VadiZov::testing {

struct LatticeShape {
    int nx = 10, ny = 10, nz = 20;  // 2000 nodes
    int maxBeams = 10000;
    float spacing = 0.25f;
    float nodeMass = 5.0f;
    float spring = 400000.0f;
    float damp = 40.0f;
    float strength = 1e9f;  // no breaking, no yielding: the common path
    float deform = 1e9f;
    float3 origin{0.0f, 0.0f, 2.0f};
};

inline std::unique_ptr<BeamObjectImpl> makeLattice(const LatticeShape& s = {})
{
    auto object = std::make_unique<BeamObjectImpl>();
    auto id = [&](int x, int y, int z) { return (z * s.ny + y) * s.nx + x; };
    for (int z = 0; z < s.nz; ++z)
        for (int y = 0; y < s.ny; ++y)
            for (int x = 0; x < s.nx; ++x) {
                // A slight shear so that no beam starts exactly at rest along an axis.
                const float3 p(s.origin.x + s.spacing * float(x) + 0.01f * float(z), s.origin.y + s.spacing * float(y),
                               s.origin.z + s.spacing * float(z));
                object->setNode(-1, p, s.nodeMass, 0, 1.0f, -1, false, (x + y + z) % 2 == 0);
            }
    auto addBeam = [&](int a, int b) {
        if (object->beam_count < s.maxBeams)
            object->setBeam(-1, a, b, s.strength, s.spring, s.damp, s.deform, 0.98f);
    };
    const int steps[][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {0, 1, 1}, {1, 0, 1}, {1, -1, 0}};
    for (const auto& d : steps)
        for (int z = 0; z < s.nz; ++z)
            for (int y = 0; y < s.ny; ++y)
                for (int x = 0; x < s.nx; ++x) {
                    const int x2 = x + d[0], y2 = y + d[1], z2 = z + d[2];
                    if (x2 >= 0 && x2 < s.nx && y2 >= 0 && y2 < s.ny && z2 < s.nz)
                        addBeam(id(x, y, z), id(x2, y2, z2));
                }
    object->refNode = id(s.nx / 2, s.ny / 2, 0);
    object->loaded = true;
    return object;
}

} // namespace VadiZov::testing
