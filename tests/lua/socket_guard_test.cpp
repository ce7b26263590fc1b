// The address guard in front of the socket library: only this machine's loop-back address and the
// private IPv4 networks. No test sends anything anywhere but to the loop-back address: refused
// hosts never reach a system call, and allowed private addresses are checked on the guard itself.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/bglobals.h"
#include "base/bsettings.h"
#include "lua/blua.h"
#include "lua/bsocket_guard.h"
#include "object/bobject.h"
#include "tests/support/log_capture.h"
#include "tests/support/scoped_settings.h"

namespace VadiZov::testing {
namespace {

struct HostCase {
    const char* host;
    int verdict;
    const char* address;  // what connect, bind and resolution then use
};

TEST(SocketGuardTest, HostTextsAndTheAddressTheyAreReadAs)
{
    const std::vector<HostCase> cases = {
        {"127.0.0.1", 0, "127.0.0.1"},
        {"localhost", 0, "127.0.0.1"},
        {"127.0.0.2", 1, ""},
        {"LOCALHOST", 2, ""},
        {"10.1.2.3", 0, "10.1.2.3"},
        {"172.16.0.1", 0, "172.16.0.1"},
        {"172.31.255.255", 0, "172.31.255.255"},
        {"192.168.1.1", 0, "192.168.1.1"},
        {"172.32.0.1", 1, ""},
        {"172.15.255.255", 1, ""},
        {"192.169.0.1", 1, ""},
        {"8.8.8.8", 1, ""},
        {"0.0.0.0", 1, ""},
        {"*", 2, ""},
        {"::1", 2, ""},
        {"example.com", 2, ""},
        {"10.0.0", 2, ""},
        {"", 2, ""},
        {nullptr, 1, ""},
        {"10.0.0.1:80", 0, "10.0.0.1"},
        // Texts the resolver would read as another host than the guard did.
        {"10.0.0.1.evil.example", 0, "10.0.0.1"},
        {"010.0.0.1", 0, "10.0.0.1"},
        {"266.0.0.1", 0, "10.0.0.1"},
        {" -246.1.2.3", 0, "10.1.2.3"},
    };
    for (const HostCase& c : cases) {
        const char* shown = c.host ? c.host : "(null)";
        EXPECT_EQ(inet_isrestricted(c.host), c.verdict) << shown;
        const GuardedHost guarded = guardHost(c.host);
        EXPECT_EQ(guarded.verdict, c.verdict) << shown;
        EXPECT_STREQ(guarded.address, c.address) << shown;
    }
}

TEST(SocketGuardTest, AddressRangesEndWhereThePrivateNetworksEnd)
{
    struct AddressCase {
        unsigned char a, b, c, d;
        int verdict;
    };
    const std::vector<AddressCase> cases = {
        {127, 0, 0, 1, 0},     {127, 0, 0, 0, 1},   {127, 1, 0, 1, 1},   {10, 0, 0, 0, 0},
        {10, 255, 255, 255, 0}, {9, 255, 255, 255, 1}, {11, 0, 0, 0, 1},  {172, 16, 0, 0, 0},
        {172, 31, 255, 255, 0}, {172, 15, 0, 0, 1},  {172, 32, 0, 0, 1},  {192, 168, 0, 0, 0},
        {192, 168, 255, 255, 0}, {192, 167, 0, 0, 1}, {192, 169, 0, 0, 1}, {255, 255, 255, 255, 1},
    };
    for (const AddressCase& c : cases)
        EXPECT_EQ(inet_isrestrictedaddr(c.a, c.b, c.c, c.d), c.verdict)
            << int(c.a) << "." << int(c.b) << "." << int(c.c) << "." << int(c.d);
}

class GuardedSocketTest : public LogCapture {
protected:
    void SetUp() override
    {
        LogCapture::SetUp();
        Settings::socketEnabled = true;
        lua = std::make_unique<Lua>("S0");
        lua->initialize(nullptr, nullptr);
        ASSERT_EQ(eval("return type(package.loaded['socket.core'])"), "table");
    }
    void TearDown() override
    {
        lua.reset();
        LogCapture::TearDown();
    }
    // The chunk's results joined by blanks, or "error: " and the message.
    std::string eval(const std::string& code) { return evalIn(*lua, code); }
    static std::string evalIn(Lua& state, const std::string& code)
    {
        lua_State* L = state.state();
        const LuaStackRestore restore(L);
        const int base = lua_gettop(L);
        if (luaL_loadstring(L, ("local socket = require('socket') " + code).c_str()) != 0 ||
            lua_pcall(L, 0, LUA_MULTRET, 0) != 0)
            return std::string("error: ") + lua_tostring(L, -1);
        std::string out;
        for (int i = base + 1; i <= lua_gettop(L); ++i) {
            lua_getglobal(L, "tostring");
            lua_pushvalue(L, i);
            lua_call(L, 1, 1);
            if (i > base + 1)
                out += ' ';
            out += lua_tostring(L, -1);
            lua_pop(L, 1);
        }
        return out;
    }

    std::unique_ptr<Lua> lua;

private:
    ScopedSettings settings_;
};

TEST_F(GuardedSocketTest, RefusedHostsNeverReachTheSocketLibrary)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"return socket.dns.toip('8.8.8.8')", "nil restricted"},
        {"return socket.dns.toip('example.com')", "nil restricted"},
        {"return socket.dns.toip('LOCALHOST')", "nil restricted"},
        {"return socket.dns.toip('::1')", "nil restricted"},
        {"return socket.dns.tohostname('8.8.8.8')", "nil restricted"},
        {"return socket.dns.getaddrinfo('example.com')", "nil restricted"},
        {"return socket.dns.getnameinfo('8.8.8.8', 80)", "nil restricted"},
        {"return socket.tcp():bind('*', 0)", "nil bind restricted"},
        {"return socket.tcp():bind('8.8.8.8', 0)", "nil bind restricted"},
        {"return socket.tcp():setsockname('*', 0)", "nil bind restricted"},
        {"return socket.tcp():connect('8.8.8.8', 53)", "nil connect restricted"},
        {"return socket.tcp():connect('example.com', 80)", "nil connect restricted"},
        {"return socket.tcp():connect('127.0.0.2', 80)", "nil connect restricted"},
        {"return socket.tcp():setpeername('192.169.0.1', 80)", "nil connect restricted"},
        {"return socket.tcp6():connect('::1', 80)", "nil connect restricted"},
        {"return socket.udp():setsockname('*', 0)", "nil bind restricted"},
        {"return socket.udp():setpeername('8.8.8.8', 53)", "nil connect restricted"},
        {"return socket.udp():sendto('x', '8.8.8.8', 53)", "nil restricted"},
        {"return socket.connect('8.8.8.8', 53)", "nil connect restricted"},
        {"return socket.connect('127.0.0.1', 9, '8.8.8.8', 0)", "nil bind restricted"},
    };
    for (const auto& [code, expected] : cases)
        EXPECT_EQ(eval(code), expected) << code;
}

TEST_F(GuardedSocketTest, AllowedHostsResolveToTheAddressTheGuardRead)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"local ip, r = socket.dns.toip('10.0.0.1.evil.example') return ip, r.name, r.ip[1]", "10.0.0.1 10.0.0.1 10.0.0.1"},
        {"local ip, r = socket.dns.toip('localhost') return ip, r.name, #r.alias", "127.0.0.1 localhost 0"},
        {"local ip, r = socket.dns.toip('10.0.0.1:80') return ip, type(r)", "10.0.0.1 table"},
        {"return (socket.dns.tohostname('266.168.1.1'))", "10.168.1.1"},
        {"local list = socket.dns.getaddrinfo('010.0.0.1') return #list, list[1].family, list[1].addr", "1 inet 10.0.0.1"},
        {"return socket.dns.getnameinfo('localhost')[1]", "localhost"},
        {"return socket.dns.getnameinfo('192.168.0.7', 80)[1]", "192.168.0.7"},
        {"return socket.udp():setpeername('*')", "1"},
        {"return select(2, pcall(socket.tcp().connect, socket.tcp(), nil, 80)):match('bad argument') ~= nil", "true"},
    };
    for (const auto& [code, expected] : cases)
        EXPECT_EQ(eval(code), expected) << code;
}

TEST_F(GuardedSocketTest, ScriptsHoldOnlyTheGuardedModule)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"return socket == package.loaded['socket.core']", "true"},
        {"return require('socket.core') == socket", "true"},
        // A socket's methods are the guarded ones, and its class is out of reach.
        {"return socket.tcp().connect(socket.tcp(), '8.8.8.8', 53)", "nil connect restricted"},
        {"return socket.udp().sendto(socket.udp(), 'x', '8.8.8.8', 53)", "nil restricted"},
        {"return getmetatable(socket.tcp()), getmetatable(socket.udp())", "tcp{master} udp{unconnected}"},
        {"return socket.tcp().setfd, socket.udp().setfd", "nil nil"},
        {"return debug.getregistry", "nil"},
    };
    for (const auto& [code, expected] : cases)
        EXPECT_EQ(eval(code), expected) << code;
}

TEST_F(GuardedSocketTest, LoopbackEchoBetweenTwoSocketsOfOneScript)
{
    EXPECT_EQ(eval(R"(
        local server = assert(socket.tcp())
        assert(server:bind('127.0.0.1', 0))
        assert(server:listen(1))
        local _, port = server:getsockname()
        server:settimeout(5)
        local client = assert(socket.tcp())
        client:settimeout(5)
        assert(client:connect('localhost', port))
        local peer = assert(server:accept())
        peer:settimeout(5)
        assert(client:send('ping\n'))
        local line = assert(peer:receive('*l'))
        assert(peer:send(line:upper() .. '\n'))
        local echoed = assert(client:receive('*l'))
        client:close() peer:close() server:close()
        return echoed
    )"),
              "PING");
}

TEST_F(GuardedSocketTest, ObjectStatesAreGuardedAndSandboxedToo)
{
    BeamObjectImpl object;
    EXPECT_EQ(evalIn(object.lua(), "return socket.dns.toip('8.8.8.8')"), "nil restricted");
    EXPECT_EQ(evalIn(object.lua(), "return io.popen('ls'), os.execute('ls'), package.loadlib"), "nil 0 nil");
}

} // namespace
} // namespace VadiZov::testing
