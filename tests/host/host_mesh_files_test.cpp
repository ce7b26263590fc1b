// The meshes velkor-host reads for flexible meshes and props: only regular files below
// DATA_DIR/meshes, "mtllib" never opened, faces of bounded size, finite coordinates; each
// refusal names the file, and the line where the file is at fault.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "tests/host/host_process.h"

namespace fs = std::filesystem;

namespace {

using VadiZov::testing::HostRun;

// A triangle with every corner given, the shape of every good mesh here.
const char kTriangle[] = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";

// A polygon of n vertices on a circle, as one face.
std::string polygon(int n)
{
    std::string text;
    char line[100];
    for (int i = 0; i < n; ++i) {
        std::snprintf(line, sizeof line, "v %f %f 0\n", std::cos(6.283185 * i / n), std::sin(6.283185 * i / n));
        text += line;
    }
    text += "f";
    for (int i = 1; i <= n; ++i) {
        std::snprintf(line, sizeof line, " %d", i);
        text += line;
    }
    return text + "\n";
}

std::string repeated(const std::string& line, int times)
{
    std::string text;
    text.reserve(line.size() * size_t(times));
    for (int i = 0; i < times; ++i)
        text += line;
    return text;
}

// One triangle's corners given `faces` times, as triangles or as quads (two triangles each).
std::string triangleFaces(int faces) { return std::string(kTriangle) + repeated("f 1 2 3\n", faces - 1); }
std::string quadFaces(int faces) { return "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n" + repeated("f 1 2 3 4\n", faces); }

class HostMeshFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("velkor-host-meshes-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(data() / "lua" / "system");
        fs::create_directories(data() / "meshes");
        fs::create_directories(data() / "thing");
        fs::create_directories(dir / "outside");
        std::ofstream(data() / "lua" / "system" / "main.lua") << "function engineEvent() end\n";
        std::ofstream(dir / "outside" / "secret.obj") << kTriangle;
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path data() const { return dir / "data"; }
    fs::path meshes() const { return fs::absolute(data()) / "meshes"; }
    void mesh(const std::string& name, const std::string& text) const
    {
        std::ofstream(data() / "meshes" / (name + ".obj"), std::ios::binary) << text;
    }

    // An object that asks for each name as a flexible mesh and, for those in props, as a prop.
    HostRun runObject(const std::vector<std::string>& flexmeshes, const std::vector<std::string>& props = {}) const
    {
        std::string lua = "function init()\n"
                          "  obj:setNode(-1, float3(0, 0, 0), 10, NORMALTYPE, 1, -1, false, false)\n"
                          "  obj:setNode(-1, float3(1, 0, 0), 10, NORMALTYPE, 1, -1, false, false)\n"
                          "  obj:setNode(-1, float3(0, 1, 0), 10, NORMALTYPE, 1, -1, false, false)\n";
        for (const std::string& name : flexmeshes)
            lua += "  do local m = obj:setFlexmesh(-1, '" + name + "') m:addNodeBinding(0) m:initialize() end\n";
        for (const std::string& name : props)
            lua += "  do local p = obj:setProp(-1, '" + name + "') p:initialize() end\n";
        lua += "  obj:finishLoading()\nend\n";
        std::ofstream(data() / "thing" / "init.lua") << lua;
        return VadiZov::testing::runHostIn(VELKOR_HOST_PATH, dir, {"--frames", "1", "--object", "thing", "data"});
    }

    fs::path dir;
};

TEST_F(HostMeshFiles, MeshNamesStayBelowTheMeshFolder)
{
    mesh("good", kTriangle);
    fs::create_symlink("good.obj", data() / "meshes" / "alias.obj");
    fs::create_symlink("../../outside/secret.obj", data() / "meshes" / "linked.obj");
    fs::create_symlink("/dev/zero", data() / "meshes" / "zero.obj");
    ASSERT_EQ(mkfifo((data() / "meshes" / "fifo.obj").c_str(), 0600), 0);
    fs::create_directory(data() / "meshes" / "folder.obj");
    const std::string absolute = (fs::absolute(dir) / "outside" / "secret").string();
    const std::string m = meshes().string();
    const struct {
        std::string name;
        std::string message;  // empty: the mesh loads
    } cases[] = {
        {"good", ""},
        {"alias", ""},
        {absolute, "mesh name " + absolute + " refused: a mesh is a file below " + m},
        {"../outside/secret", "mesh name ../outside/secret refused: a mesh is a file below " + m},
        {"linked", "cannot read mesh file " + m + "/linked.obj: it leaves the directory it must stay below"},
        {"zero", "cannot read mesh file " + m + "/zero.obj: it leaves the directory it must stay below"},
        {"fifo", "cannot read mesh file " + m + "/fifo.obj: it is not a regular file"},
        {"folder", "cannot read mesh file " + m + "/folder.obj: it is a directory"},
        {"missing", "no mesh file " + m + "/missing.obj"},
    };
    std::vector<std::string> names;
    for (const auto& c : cases)
        names.push_back(c.name);
    const HostRun r = runObject(names, {absolute, "good"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.message.empty()) {
            EXPECT_NE(r.out.find("summary: flexmesh " + c.name + ": 3 vertices, 1 triangles"), std::string::npos)
                << r.out;
        } else {
            EXPECT_NE(r.out.find("velkor-host: " + c.message + "\n"), std::string::npos) << r.out;
            EXPECT_NE(r.out.find("error creating vertex buffer for mesh " + c.name), std::string::npos) << r.out;
        }
    }
    // A prop's mesh is held to the same rule.
    EXPECT_NE(r.out.find("unable to find rigid mesh: " + absolute), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("summary: prop good"), std::string::npos) << r.out;
}

// "mtllib" names no file the host opens: not one outside, not a FIFO, not an endless device.
TEST_F(HostMeshFiles, MaterialLibrariesAreNeverOpened)
{
    ASSERT_EQ(mkfifo((data() / "meshes" / "fifo.mtl").c_str(), 0600), 0);
    const std::vector<std::string> libraries = {"../../../../../../etc/passwd", "fifo.mtl", "/dev/zero"};
    std::vector<std::string> names;
    for (size_t i = 0; i < libraries.size(); ++i) {
        names.push_back(std::string("m").append(std::to_string(i)));
        mesh(names.back(), "mtllib " + libraries[i] + "\nusemtl x\n" + kTriangle);
    }
    const auto start = std::chrono::steady_clock::now();
    const HostRun r = runObject(names);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const std::string& name : names)
        EXPECT_NE(r.out.find("summary: flexmesh " + name + ": 3 vertices, 1 triangles"), std::string::npos) << r.out;
}

TEST_F(HostMeshFiles, FacesOfTooManyVerticesAndCoordinatesThatAreNotFiniteAreRefusedByLine)
{
    const std::string m = meshes().string();
    const struct {
        std::string name, text, message;  // message empty: the mesh loads
    } cases[] = {
        {"face64", polygon(64), ""},
        // The loader keeps every face and coordinate line: a small file could ask for gigabytes.
        {"triangles", triangleFaces(4 * 65536), ""},
        {"triangles_over", triangleFaces(4 * 65536 + 1), "mesh file " + m + "/triangles_over.obj line 262148: more "
                                                        "than 262144 triangles; larger meshes are refused"},
        {"quads_over", quadFaces(2 * 65536 + 1), "mesh file " + m + "/quads_over.obj line 131077: more than 262144 "
                                                 "triangles; larger meshes are refused"},
        {"positions_over", repeated("v 0 0 0\n", 16 * 65536 + 1) + "f 1 2 3\n",
         "mesh file " + m + "/positions_over.obj line 1048577: more than 1048576 vertex positions; larger meshes are "
         "refused"},
        {"face65", polygon(65), "mesh file " + m + "/face65.obj line 66: a face of 65 vertices; faces of more than 64 "
                                "are refused"},
        // Triangulated, this face alone would take minutes.
        {"face200000", polygon(200000), "mesh file " + m + "/face200000.obj line 200001: a face of 200000 vertices"},
        {"nan", "v 0 0 0\nv nan 0 0\nv 0 1 0\nf 1 2 3\n", "malformed mesh file " + m + "/nan.obj line 2: a coordinate "
                                                          "that is not a finite number"},
        {"inf", "# normals\r\nv 0 0 0\r\nv 1 0 0\r\nv 0 1 0\r\nvn 0 0 -inf\r\nf 1//1 2//1 3//1\r\n",
         "malformed mesh file " + m + "/inf.obj line 5: a coordinate that is not a finite number"},
        {"float", "v 0 0 0\nv 1 0 0\rv 0 1e39 0\nf 1 2 3\n", "malformed mesh file " + m + "/float.obj line 3: a "
                                                              "coordinate that is not a finite number"},
        // Read as 0 by strtod, but as NaN by the loader's own number reading.
        {"overflow", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 0e999 1\nvt 1 1\nf 1/1 2/2 3/3\n",
         "malformed mesh file " + m + "/overflow.obj line 5: a coordinate that is not a finite number"},
    };
    std::vector<std::string> names;
    for (const auto& c : cases) {
        mesh(c.name, c.text);
        names.push_back(c.name);
    }
    const HostRun r = runObject(names);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.message.empty()) {
            const std::string shape = c.name == "triangles" ? "3 vertices, 262144 triangles" : "64 vertices, 62 triangles";
            EXPECT_NE(r.out.find("summary: flexmesh " + c.name + ": " + shape), std::string::npos) << r.out;
        } else {
            EXPECT_NE(r.out.find("velkor-host: " + c.message), std::string::npos) << r.out;
            EXPECT_EQ(r.out.find("summary: flexmesh " + c.name + ":"), std::string::npos) << r.out;
        }
    }
    EXPECT_EQ(r.out.find("REF node not found"), std::string::npos) << r.out;
}

} // namespace
