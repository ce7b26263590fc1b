// velkor-host runs objects with flexible meshes, props, lights and cameras: the written meshes
// follow the nodes and tear where a beam breaks, the summary shows props, lights and the camera,
// --trace shows what lights and sounds receive, and bad mesh files are refused by name.
#include <gtest/gtest.h>

#include "tests/host/host_process.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using VadiZov::testing::HostRun;
using VadiZov::testing::readFile;

struct Obj {
    std::vector<std::array<double, 3>> vertices;
    std::vector<std::array<int, 3>> faces;  // 1-based vertex numbers
    int collapsed() const
    {
        int n = 0;
        for (const auto& f : faces)
            n += f[0] == f[1] && f[1] == f[2];
        return n;
    }
};

Obj readObj(const fs::path& path)
{
    Obj obj;
    std::istringstream in(readFile(path));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "v") {
            std::array<double, 3> v{};
            fields >> v[0] >> v[1] >> v[2];
            obj.vertices.push_back(v);
        } else if (kind == "f") {
            std::array<int, 3> f{};
            for (int& index : f) {
                std::string corner;
                fields >> corner;
                index = std::atoi(corner.c_str());
            }
            obj.faces.push_back(f);
        }
    }
    return obj;
}

double distance(const std::array<double, 3>& a, const std::array<double, 3>& b)
{
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

// The three numbers after `label` in the first line that contains it.
std::array<double, 3> numbersAfter(const std::string& text, const std::string& label)
{
    const size_t at = text.find(label);
    EXPECT_NE(at, std::string::npos) << label;
    std::array<double, 3> v{};
    if (at != std::string::npos)
        std::sscanf(text.c_str() + at + label.size(), "%lf %lf %lf", &v[0], &v[1], &v[2]);
    return v;
}

int countOf(const std::string& text, const std::string& fragment)
{
    int n = 0;
    for (size_t at = text.find(fragment); at != std::string::npos; at = text.find(fragment, at + 1))
        ++n;
    return n;
}

class HostAttachments : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("velkor-host-attach-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    HostRun run(const std::string& args) { return VadiZov::testing::runHost(VELKOR_HOST_PATH, dir, args); }
    // The flexible box on the demo slope for a number of frames, its meshes written to dir/meshes.
    HostRun runFlexbox(int frames, const std::string& extra = "")
    {
        return run("--frames " + std::to_string(frames) + " --dt 0.0166667 --object vehicles/flexbox --at 0,0,4.5 " +
                   "--terrain terrain/slope.pgm --mesh-out " + (dir / "meshes").string() + " " + extra + " " +
                   VELKOR_EXAMPLES_DIR "/demo");
    }

    fs::path dir;
};

TEST_F(HostAttachments, SkinFollowsTheBoxAndTearsWhereItsBeamBreaks)
{
    struct Case {
        int frames;
        bool broken;
    } cases[] = {{100, false}, {180, true}, {300, false}};  // break at frame 120, reset at 240
    for (const Case& c : cases) {
        const HostRun r = runFlexbox(c.frames);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const fs::path written = dir / "meshes" / "flexbox-0.obj";
        ASSERT_NE(r.out.find("velkor-host: wrote " + written.string() + " (mesh box_skin)"), std::string::npos)
            << r.out;
        const Obj skin = readObj(written);
        ASSERT_EQ(skin.vertices.size(), 26u);
        ASSERT_EQ(skin.faces.size(), 24u);
        // Vertex 1 sits on node 0, the reference node; vertex 2 on node 1, a metre along the box's edge.
        const auto reference = numbersAfter(r.out, "summary: reference node world position ");
        EXPECT_LT(distance(skin.vertices[0], reference), 0.003) << c.frames;
        EXPECT_NEAR(distance(skin.vertices[0], skin.vertices[1]), 1.0, 0.01) << c.frames;
        const int collapsed = skin.collapsed();
        if (c.broken) {
            EXPECT_GT(collapsed, 0);
            EXPECT_LT(collapsed, 24);
            // Collapsed triangles keep their first corner.
            for (const auto& f : skin.faces)
                EXPECT_TRUE(f[0] >= 1 && f[0] <= 26);
        } else {
            EXPECT_EQ(collapsed, 0) << c.frames;
        }
        EXPECT_EQ(r.out.find("flexbox: beam 0 broke") != std::string::npos, c.frames >= 120);
        EXPECT_EQ(r.out.find("flexbox: reset") != std::string::npos, c.frames >= 240);
        fs::remove_all(dir / "meshes");
    }
}

TEST_F(HostAttachments, SummaryShowsPropsLightsAndTheCamera)
{
    const HostRun r = runFlexbox(100);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("calculated base translation for prop mirror : 0.500000,0.800000,-0.100000"),
              std::string::npos);
    EXPECT_NE(r.out.find("summary: flexmesh box_skin: 26 vertices, 24 triangles, 100 frames written"),
              std::string::npos)
        << r.out;
    // The mirror rides relative to the object; the light, given 0.5 m along the edge, in the world.
    const auto mirror = numbersAfter(r.out, "summary: prop mirror at ");
    EXPECT_NEAR(std::sqrt(mirror[0] * mirror[0] + mirror[1] * mirror[1] + mirror[2] * mirror[2]),
                std::sqrt(0.5 * 0.5 + 0.8 * 0.8 + 0.1 * 0.1), 0.01);
    const auto reference = numbersAfter(r.out, "summary: reference node world position ");
    const auto light = numbersAfter(r.out, "summary: light 0 at ");
    EXPECT_NEAR(distance(light, reference), 0.5, 0.005);
    // Frames 1-29 on, 30-59 off, 60-89 on, 90-100 off.
    EXPECT_NE(r.out.find(" off, 4 state changes"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("summary: camera reference 0.0000 0.0000 0.0000 side "), std::string::npos);
    EXPECT_NE(r.out.find(" selected -1 of 1 at 0.0000 0.0000 0.0000 value 65"), std::string::npos) << r.out;
    // Node 0 projected through the host's camera; an invalid node never reaches the host.
    EXPECT_NE(r.out.find("flexbox: node 0 on screen at 640.0 "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("flexbox: node 99 on screen at 0 0 0"), std::string::npos);
}

TEST_F(HostAttachments, TraceShowsWhatLightsAndCamerasReceive)
{
    const HostRun r = runFlexbox(61, "--trace");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::regex enabled("SpotLight::setEnabled\\(0, ([01])\\)");
    std::string states;
    for (std::sregex_iterator it(r.err.begin(), r.err.end(), enabled), end; it != end; ++it)
        states += (*it)[1].str();
    EXPECT_EQ(states, "101");  // sent on change only
    EXPECT_EQ(countOf(r.err, "SpotLight::setPlacement(0, "), 61);
    EXPECT_EQ(countOf(r.err, "HostObject::updateCamera(-1, 1, 65, 1, 1, 2)"), 61);
    EXPECT_EQ(countOf(r.err, "GameEngine::projectPosition("), 1);
    EXPECT_EQ(countOf(r.err, "ResourceContainer::createFlexBuffer(\"box_skin\")"), 1);
    EXPECT_EQ(countOf(r.err, "ResourceContainer::releaseFlexBuffer()"), 1);
    EXPECT_EQ(countOf(r.err, "HostObject::deleteSpotLight(0)"), 1);
    EXPECT_EQ(countOf(r.err, "ResourceContainer::deleteRigidMesh()"), 1);
}

TEST_F(HostAttachments, BadMeshFilesAndHostClassesFromLua)
{
    const fs::path data = dir / "data";
    fs::create_directories(data / "lua" / "system");
    fs::create_directories(data / "meshes");
    fs::create_directories(data / "thing");
    std::ofstream(data / "lua" / "system" / "main.lua") << "function engineEvent(name) end\n";
    std::ofstream(data / "meshes" / "bad.obj") << "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n";
    {
        std::ofstream big(data / "meshes" / "big.obj");
        for (int i = 0; i < 65536; ++i)
            big << "v " << i << " 0 0\n";
        // Every vertex in a face: one more than 16-bit triangles can index.
        for (int i = 1; i + 2 <= 65536; i += 3)
            big << "f " << i << " " << i + 1 << " " << i + 2 << "\n";
        big << "f 65534 65535 65536\n";
    }
    std::ofstream(data / "thing" / "init.lua") << R"(
function init(dir)
  obj:setNode(-1, float3(0, 0, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setNode(-1, float3(1, 0, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setNode(-1, float3(0, 1, 0), 10, NORMALTYPE, 1, -1, false, false)
  for _, name in ipairs({"missing", "bad", "big"}) do
    local m = obj:setFlexmesh(-1, name)
    m:addNodeBinding(0)
    m:initialize()
  end
  local p = obj:setProp(-1, "missing")
  p:initialize()
  local s = gameEngine:createSFXSource("horn")
  s:play(0.5)
  s:setVolume(0.25)
  logInfo("thing: horn volume " .. s:getVolume() .. ", playing " .. tostring(s:isPlaying()))
  gameEngine:deleteSFXSource(s, true)
  logInfo("thing: init.lua exists " .. FS:fileExists("thing/init.lua"))
  local ok, e = pcall(function() obj.mesh:getSwitchableMaterial(0, nil) end)
  logInfo("thing: getSwitchableMaterial " .. tostring(ok) .. " " .. tostring(e))
  obj:finishLoading()
end
)";
    const HostRun r = run("--frames 2 --trace --object thing " + data.string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string meshes = (fs::absolute(data) / "meshes").string();
    const std::vector<std::string> expected = {
         "velkor-host: no mesh file " + meshes + "/missing.obj", "error creating vertex buffer for mesh missing",
          "velkor-host: mesh file " + meshes + "/big.obj has more than 65535 vertices",
          "error creating vertex buffer for mesh big", "error creating vertex buffer for mesh bad",
          "Error while initializing prop: unable to find rigid mesh: missing",
          std::string("thing: horn volume 0.25, playing true"), std::string("thing: init.lua exists 1"),
          std::string("thing: getSwitchableMaterial false")};
    for (const std::string& line : expected)
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    EXPECT_NE(r.out.find(meshes + "/bad.obj"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("SFXSource::play(horn, 0.5)"), std::string::npos);
    EXPECT_NE(r.err.find("GameEngine::deleteSFXSource(horn, 1)"), std::string::npos);
    EXPECT_EQ(r.err.find("ResourceContainer::getSwitchableMaterial"), std::string::npos);
    EXPECT_NE(r.out.find("summary: camera never sent"), std::string::npos);
}

TEST_F(HostAttachments, CameraRecordAndReferencePositions)
{
    const fs::path data = dir / "data";
    fs::create_directories(data / "lua" / "system");
    fs::create_directories(data / "cam");
    std::ofstream(data / "lua" / "system" / "main.lua") << "function engineEvent(name) end\n";
    // Node 0 fixed at the origin, nodes 1 and 2 on the unit x and y axes; the camera nodes are
    // named at the second frame.
    std::ofstream(data / "cam" / "init.lua") << R"(
local frames = 0
function init(dir)
  obj:setNode(-1, float3(0, 0, 0), 10, NODE_FIXED, 1, -1, false, false)
  obj:setNode(-1, float3(1, 0, 0), 10, NODE_FIXED, 1, -1, false, false)
  obj:setNode(-1, float3(0, 1, 0), 10, NODE_FIXED, 1, -1, false, false)
  obj:addInternalCamera(2, 75)
  obj:finishLoading()
end
function graphicsStep(dt)
  frames = frames + 1
  if frames == 2 then
    obj:setReferenceNodes(0, 2, 1, -1, 1, 2)
    obj:setExternalCamera(2, 3, 4, 0.5, 0.25, 60)
  end
end
)";
    struct Case {
        int frames;
        const char* camera;
    } cases[] = {
        {1, "summary: camera never sent"},
        {3, "summary: camera reference 0.0000 0.0000 0.0000 side 1.0000 0.0000 0.0000 direction 0.0000 1.0000 "
            "0.0000 external 2.0000 3.0000 4.0000 selected -1 of 1 at 0.0000 0.0000 0.0000 value 60"},
    };
    for (const Case& c : cases) {
        const HostRun r = run("--frames " + std::to_string(c.frames) + " --object cam --at 10,20,30 " + data.string());
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find(c.camera), std::string::npos) << r.out;
    }
    const HostRun r = run("--frames 3 --object cam --at 10,20,30 " + data.string());
    // The two reference nodes in the world: the object's host position plus their offsets.
    const auto reference = numbersAfter(r.out, "summary: reference node world position ");
    const auto first = numbersAfter(r.out, "summary: reference positions ");
    const auto second = numbersAfter(r.out.substr(r.out.find("summary: reference positions ")), " and ");
    EXPECT_LT(distance(first, {reference[0] + 1.0, reference[1], reference[2]}), 1e-3);
    EXPECT_LT(distance(second, {reference[0], reference[1] + 1.0, reference[2]}), 1e-3);
    EXPECT_LT(distance(reference, {10.0, 20.0, 30.0}), 0.01);
}

} // namespace
