// The navigation whitelist: five fixed URL prefixes, tried in this order. The
// host names are the product's configuration; these are the system's own placeholders, under
// the reserved top-level domain ".example", and this header is their only home.
#pragma once

#include <array>

namespace VadiZov::ui {

// Order 1: the maker's package repository (loaded inside the interface).
inline constexpr const char* kRepositoryPrefix = "http://repo.velkor.example/";

// Orders 2-5: web hosts of the maker, opened in the system browser as http URLs.
inline constexpr const char* kExternalPrefixes[4] = {
    "http-external://www.velkor.example/",
    "http-external://forum.velkor.example/",
    "http-external://wiki.velkor.example/",
    "http-external://store.velkor.example/",
};

inline constexpr std::array<const char*, 5> kNavigationWhitelist = {
    kRepositoryPrefix, kExternalPrefixes[0], kExternalPrefixes[1], kExternalPrefixes[2],
    kExternalPrefixes[3],
};

} // namespace VadiZov::ui
