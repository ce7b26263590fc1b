// The fixture of the scripting API tests: the Lua tests' memory file system and recording log
// sink, the library settings restored around each case, and helpers that run Lua text in a
// state and return what it returned or the error it raised.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "lua/blua.h"
#include "tests/support/lua_test_support.h"

namespace VadiZov::testing {

class LuaApiTest : public LuaTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A state with the whole API and no start script; owner becomes the global `obj`.
    std::unique_ptr<Lua> makeState(const char* name = "S0", BeamObjectImpl* owner = nullptr);

    // Runs the chunk and returns its result as text ("nil" for none, tostring otherwise); a
    // failing chunk fails the test.
    std::string eval(Lua& lua, const std::string& code);
    // Runs the code protected and returns the error message; "no error" when it succeeded.
    std::string errorOf(Lua& lua, const std::string& code);

    std::vector<LogLine> linesAtLevel(int level) const;
};

} // namespace VadiZov::testing
