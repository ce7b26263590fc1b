#include "host/host_scene.h"

#include <cstdio>

namespace VadiZov::host {

void placeGround(BeamEngine& engine, const HostOptions& options, const GroundFiles& ground)
{
    if (!options.terrainFile.empty()) {
        TerrainConfig config = terrainConfigFor(ground.heightMap, options.squareSize, options.heightScale);
        engine.setTerrain(&config);
        const float3 origin = PlacedHeightMap(ground.heightMap, options.squareSize, options.heightScale).origin();
        engine.setTerrainPosition(origin.x, origin.y, origin.z);
        std::printf("velkor-host: terrain %s, %d x %d samples, %g m apart, %g m per unit\n",
                    options.terrainFile.c_str(), ground.heightMap.width, ground.heightMap.height,
                    double(options.squareSize), double(options.heightScale));
    }
    if (!options.staticFile.empty()) {
        for (const HostTriangle& t : ground.staticTriangles)
            engine.addStaticCollisionTriangle(t.a, t.b, t.c);
        engine.commitStaticCollision(true);
        std::printf("velkor-host: %zu static triangles from %s\n", ground.staticTriangles.size(),
                    options.staticFile.c_str());
    }
}

} // namespace VadiZov::host
