// How far velkor-host finds a flexible mesh above the terrain: its copy of the height lookup
// gives the library's numbers to the bit, and the lowest vertex over a run is found where the
// object was, in the frames that wrote the mesh, with a blown-up mesh reported as such.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ground/bground_models.h"
#include "ground/bterrain.h"
#include "host/host_ground_clearance.h"
#include "host/host_resources.h"
#include "host/host_terrain_file.h"

using namespace VadiZov;
using namespace VadiZov::host;

namespace {

constexpr float kSquare = 2.0f;
constexpr float kHeightScale = 0.01f;

// 4 x 3 samples, a bump in the middle so that the two triangles of a cell differ.
HeightMap bumpyMap()
{
    HeightMap map;
    map.width = 4;
    map.height = 3;
    map.samples = {0, 100, 200, 300, 50, 900, 250, 100, 100, 200, 300, 65535};
    return map;
}

TEST(PlacedHeightMap, GivesTheLibrarysHeightsToTheBit)
{
    const HeightMap map = bumpyMap();
    const PlacedHeightMap placed(map, kSquare, kHeightScale);
    // centred on the world's origin: 3 x 2 cells of 2 m
    EXPECT_EQ(placed.origin().x, -3.0f);
    EXPECT_EQ(placed.origin().y, -2.0f);
    EXPECT_EQ(placed.origin().z, 0.0f);

    TerrainBlock library;
    GroundModelTable names;
    library.setTerrainData(terrainConfigFor(map, kSquare, kHeightScale), names);
    library.setOrigin(placed.origin());
    std::vector<float> xs, ys;
    // inside, on sample lines, near diagonals, on the far edges and off the map on every side
    for (float t = -5.3f; t <= 5.3f; t += 0.0731f) {
        xs.push_back(t);
        ys.push_back(t * 0.77f);
    }
    for (float edge : {-3.0f, -2.0f, -1.0f, 0.0f, 1.0f, 2.0f, 3.0f, -4.99f, -5.0f, -5.01f, 2.999f, 3.001f}) {
        xs.push_back(edge);
        ys.push_back(edge);
    }
    int onTheMap = 0;
    for (float x : xs) {
        for (float y : ys) {
            const float host = placed.heightAt(x, y);
            const float lib = library.getHeight(float3(x, y, 0.0f));
            ASSERT_EQ(host, lib) << "at " << x << " " << y;
            onTheMap += host != 0.0f;
        }
    }
    EXPECT_GT(onTheMap, 1000);
    // the diagonal splits a cell: at (0.25, 0.75) of the cell with the bump the upper triangle
    // (through 0, 50, 900) holds, not the plane of all four corners
    EXPECT_FLOAT_EQ(placed.heightAt(-3.0f + 0.5f, -2.0f + 1.5f), (0.75f * 50.0f + 0.25f * 850.0f) * kHeightScale);
    for (float bad : {NAN, INFINITY, -INFINITY, 1e30f})
        EXPECT_EQ(placed.heightAt(bad, 0.0f), 0.0f) << bad;
}

// A mesh buffer as the library leaves it after a frame that wrote these vertices.
void writeFrame(HostFlexBuffer& mesh, const std::vector<float3>& vertices)
{
    ASSERT_EQ(mesh.beginWrite(), 1);
    const float directions[6] = {0, 0, 1, 1, 0, 0};
    for (const float3& v : vertices) {
        const float p[3] = {v.x, v.y, v.z};
        mesh.writeVertex(p, directions);
    }
    mesh.endWrite();
}

std::string printed(const MeshClearance& clearance)
{
    char text[512] = {};
    std::FILE* out = fmemopen(text, sizeof text - 1, "w");
    clearance.print(out);
    std::fclose(out);
    return text;
}

TEST(MeshClearance, KeepsTheLowestVertexOfTheFramesThatWroteTheMesh)
{
    HeightMap flat;
    flat.width = flat.height = 3;
    flat.samples.assign(9, 1000);  // 10 m everywhere on the map, 0 off it
    const PlacedHeightMap terrain(flat, kSquare, kHeightScale);
    MeshData data;
    data.positions = {float3(), float3()};
    data.normals = data.tangents = {float3(0, 0, 1), float3(0, 0, 1)};
    std::vector<std::unique_ptr<HostFlexBuffer>> meshes;
    meshes.push_back(std::make_unique<HostFlexBuffer>("body", data));
    HostFlexBuffer& body = *meshes[0];
    MeshClearance clearance(terrain);

    // nothing written yet: the file's rest positions say nothing about where the object is
    clearance.afterFrame(meshes, float3(0, 0, 10.1f), 0.0);
    EXPECT_EQ(printed(clearance), "");

    // the vertices are relative to the object, which sits 11 m up: the lower one is 0.5 m
    // above the terrain, the other is off the map and 11.3 m above its zero
    writeFrame(body, {float3(0.5f, 0.0f, -0.5f), float3(40.0f, 0.0f, 0.3f)});
    clearance.afterFrame(meshes, float3(0, 0, 11.0f), 0.25);
    // lower still, 0.2 m above
    writeFrame(body, {float3(0.5f, 0.0f, -0.8f), float3(0.0f, 0.0f, 2.0f)});
    clearance.afterFrame(meshes, float3(0, 0, 11.0f), 0.5);
    // a frame that did not write the mesh counts nothing, wherever the object went
    clearance.afterFrame(meshes, float3(0, 0, -50.0f), 0.75);
    // higher again
    writeFrame(body, {float3(0.5f, 0.0f, 0.0f), float3(0.0f, 0.0f, 2.0f)});
    clearance.afterFrame(meshes, float3(0, 0, 11.0f), 1.0);

    ASSERT_EQ(clearance.lowest().size(), 1u);
    const MeshClearance::Lowest& lowest = clearance.lowest()[0];
    EXPECT_EQ(lowest.framesSeen, 3);
    EXPECT_NEAR(lowest.above, 0.2f, 1e-5f);
    EXPECT_EQ(lowest.time, 0.5);
    EXPECT_FALSE(lowest.nonFinite);
    EXPECT_EQ(printed(clearance), "summary: flexmesh body: lowest vertex 0.200 m above the terrain at 0.500 s\n");

    // a vertex that is no number is reported, not taken for the lowest or hidden by the others
    writeFrame(body, {float3(0.5f, 0.0f, -20.0f), float3(NAN, 0.0f, 0.0f)});
    clearance.afterFrame(meshes, float3(0, 0, 11.0f), 1.25);
    writeFrame(body, {float3(0.5f, 0.0f, INFINITY), float3(0.0f, 0.0f, 0.0f)});
    clearance.afterFrame(meshes, float3(0, 0, 11.0f), 1.5);
    EXPECT_TRUE(clearance.lowest()[0].nonFinite);
    EXPECT_EQ(printed(clearance), "summary: flexmesh body: lowest vertex 0.200 m above the terrain at 0.500 s\n"
                                  "summary: flexmesh body: vertices not finite from 1.250 s\n");
}

} // namespace
