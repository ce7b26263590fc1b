// The box scene, the demo before the cart: the built velkor-host with the arguments of
// examples/box/args on examples/box.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string lineStartingWith(const std::string& text, const std::string& prefix)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(prefix, 0) == 0)
            return line;
    return "";
}

TEST(BoxScene, TheBoxIsDroppedForTenSimulatedSecondsAndTheSummaryIsPrinted)
{
    const std::string demo = std::string(VELKOR_EXAMPLES_DIR) + "/box";
    std::string args = readFile(demo + "/args");
    while (!args.empty() && (args.back() == '\n' || args.back() == ' '))
        args.pop_back();
    ASSERT_FALSE(args.empty());
    const std::string out = ::testing::TempDir() + "velkor_demo_stdout.txt";
    const std::string err = ::testing::TempDir() + "velkor_demo_stderr.txt";
    const std::string command =
        std::string(VELKOR_HOST_PATH) + " " + args + " " + demo + " >" + out + " 2>" + err;
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << readFile(err);
    const std::string output = readFile(out);

    EXPECT_NE(output.find("box: 8 nodes, 28 beams, 12 triangles"), std::string::npos) << output;
    EXPECT_EQ(lineStartingWith(output, "summary: frames"), "summary: frames 600") << output;
    EXPECT_EQ(lineStartingWith(output, "summary: substeps"), "summary: substeps 20000 (10.0000 s simulated)");
    EXPECT_EQ(lineStartingWith(output, "summary: status 3:"), "summary: status 3: bodies: 1 ");
    EXPECT_EQ(lineStartingWith(output, "summary: status 1:").rfind("summary: status 1: FPS: ", 0), 0u) << output;
    EXPECT_EQ(output.find("Lua function '"), std::string::npos) << output;  // every callback defined
    EXPECT_EQ(output.find("FATAL LUA ERROR"), std::string::npos) << output;

    EXPECT_EQ(output.find("No ground model"), std::string::npos) << output;  // the system script's surface

    // Dropped onto the slope (which runs down towards -y from y = 3 to y = -2), it slides down and
    // rests on the flat at z = 0 below.
    const std::string position = lineStartingWith(output, "summary: reference node world position");
    float x = 0, y = 0, z = 0;
    ASSERT_EQ(std::sscanf(position.c_str(), "summary: reference node world position %f %f %f", &x, &y, &z), 3)
        << output;
    EXPECT_NEAR(z, 0.0f, 0.05f) << output;
    EXPECT_LT(y, -2.0f) << output;
    EXPECT_NEAR(x, 0.0f, 0.01f);
}

} // namespace
