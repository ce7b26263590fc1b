// platform/shell_open: the opener program and its argument vector.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/shell_open.h"
#include "test_support.h"

using namespace VadiZov::platform;

namespace {
struct ScopedEnv {
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name)) {
            had_ = true;
            old_ = old;
        }
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }
    const char* name_;
    bool had_ = false;
    std::string old_;
};
} // namespace

TEST(ShellOpen, OpenerDefaultsToXdgOpen)
{
    ScopedEnv unset(kUrlOpenerVariable, nullptr);
    EXPECT_EQ(urlOpenerProgram(), "xdg-open");
    ScopedEnv empty(kUrlOpenerVariable, "");
    EXPECT_EQ(urlOpenerProgram(), "xdg-open");
    ScopedEnv set(kUrlOpenerVariable, "/opt/opener");
    EXPECT_EQ(urlOpenerProgram(), "/opt/opener");
}

TEST(ShellOpen, UrlIsTheOnlyArgumentAndNeverSeesAShell)
{
    ui_test::TempDir dir;
    ScopedEnv opener(kUrlOpenerVariable, UI_TEST_OPENER);
    ScopedEnv log("VELKOR_TEST_OPENER_LOG", dir.file("opened").c_str());
    const std::string marker = dir.file("shell-ran");
    // Shell syntax of every kind: were this run by a shell, the marker file would appear.
    const std::string url = "http://www.velkor.example/a b?x=1&y=$(touch " + marker + ");touch " +
                            marker + " `touch " + marker + "` | 'q' \"d\" *";
    Process p;
    ASSERT_TRUE(openUrl(url, &p));
    EXPECT_EQ(waitProcess(p), 0);
    auto lines = ui_test::readLines(dir.file("opened"));
    ASSERT_EQ(lines.size(), 1u);
    std::string recorded = url;  // the stub escapes '|'
    for (size_t pos = 0; (pos = recorded.find('|', pos)) != std::string::npos; pos += 2)
        recorded.insert(pos, 1, '\\');
    EXPECT_EQ(lines[0], "1|" + recorded);
    EXPECT_NE(access(marker.c_str(), F_OK), 0);
}

TEST(ShellOpen, MissingOpenerIsReported)
{
    ScopedEnv opener(kUrlOpenerVariable, "/nonexistent/opener");
    EXPECT_FALSE(openUrl("http://www.velkor.example/"));
}

TEST(ShellOpen, OpenersStartedWithoutACallerAreReaped)
{
    ui_test::TempDir dir;
    ScopedEnv opener(kUrlOpenerVariable, UI_TEST_OPENER);
    ScopedEnv log("VELKOR_TEST_OPENER_LOG", dir.file("opened").c_str());
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(openUrl("http://www.velkor.example/" + std::to_string(i)));
    auto lines = ui_test::waitForOpenerLines(dir.file("opened"), 3);
    EXPECT_EQ(lines.size(), 3u);
}
