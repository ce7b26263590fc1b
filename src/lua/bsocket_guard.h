// The address guard in front of the socket library: scripts reach only this machine's loop-back
// address and the private IPv4 networks.
#pragma once

namespace VadiZov {

// 0 allowed; 1 restricted address or no host; 2 neither "localhost" nor a dotted IPv4 text.
int inet_isrestricted(const char* host);
// 0 for 127.0.0.1, 10.0.0.0/8, 172.16.0.0/12 and 192.168.0.0/16; else 1.
int inet_isrestrictedaddr(unsigned char a, unsigned char b, unsigned char c, unsigned char d);

// The guard's verdict on a host text and, when allowed, the address it read, written as a
// canonical "a.b.c.d" ("127.0.0.1" for "localhost"). Resolving that text instead of the
// original keeps the resolver from reading "10.0.0.1.evil.example" or "010.0.0.1" as another
// host than the one the guard allowed.
struct GuardedHost {
    int verdict;
    char address[16];
};
GuardedHost guardHost(const char* host);

} // namespace VadiZov
