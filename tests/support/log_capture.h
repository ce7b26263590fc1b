// A fixture base that records every log line of a test case from a clean log state.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/bglobals.h"
#include "base/blog.h"
#include "tests/support/recording_host.h"

namespace VadiZov::testing {

class LogCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetLogStateForTests();
        g_logSink = &sink;
    }
    void TearDown() override
    {
        g_logSink = nullptr;
        resetLogStateForTests();
    }
    std::vector<std::string> logged() { return sink.texts(); }
    std::vector<int> loggedLevels()
    {
        std::vector<int> levels;
        for (const auto& l : sink.lines)
            levels.push_back(l.level);
        return levels;
    }

    RecordingLogSink sink;
};

} // namespace VadiZov::testing
