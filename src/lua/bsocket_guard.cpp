#include "lua/bsocket_guard.h"

#include <cstdio>
#include <cstring>

namespace VadiZov {

namespace {

void writeAddress(char (&out)[16], unsigned char a, unsigned char b, unsigned char c, unsigned char d)
{
    std::snprintf(out, sizeof out, "%u.%u.%u.%u", a, b, c, d);
}

} // namespace

int inet_isrestrictedaddr(unsigned char a, unsigned char b, unsigned char c, unsigned char d)
{
    const bool loopback = a == 127 && b == 0 && c == 0 && d == 1;
    const bool privateNetwork = a == 10 || (a == 172 && b >= 16 && b <= 31) || (a == 192 && b == 168);
    return loopback || privateNetwork ? 0 : 1;
}

GuardedHost guardHost(const char* host)
{
    GuardedHost result{1, {}};
    if (!host)
        return result;
    if (std::strcmp(host, "localhost") == 0) {
        result.verdict = 0;
        writeAddress(result.address, 127, 0, 0, 1);
        return result;
    }
    int n[4] = {};
    if (std::sscanf(host, "%d.%d.%d.%d", &n[0], &n[1], &n[2], &n[3]) != 4) {
        result.verdict = 2;
        return result;
    }
    const auto octet = [](int value) { return static_cast<unsigned char>(unsigned(value) & 0xFFu); };
    result.verdict = inet_isrestrictedaddr(octet(n[0]), octet(n[1]), octet(n[2]), octet(n[3]));
    if (result.verdict == 0)
        writeAddress(result.address, octet(n[0]), octet(n[1]), octet(n[2]), octet(n[3]));
    return result;
}

int inet_isrestricted(const char* host) { return guardHost(host).verdict; }

} // namespace VadiZov
