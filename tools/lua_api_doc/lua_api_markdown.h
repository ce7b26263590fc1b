// Writes the API reference from what the registration tables hold and the one description table:
// every class, member and global needs exactly one description, and every description must name
// something registered, so the reference cannot drift from the code.
#pragma once

#include <string>
#include <vector>

#include "tools/lua_api_doc/lua_api_reader.h"

namespace VadiZov::apidoc {

// One line of the description table. `scope` is the class for a class's own line (name "") and
// its members, "" for a global; `usage` is how a script writes it (arguments and result, or the
// type of a property).
struct Description {
    const char* scope;
    const char* name;
    const char* usage;
    const char* text;
};

struct Reference {
    std::string markdown;
    std::vector<std::string> problems;  // empty when every entry has one description
};

Reference writeReference(const ApiSurface& surface, const std::vector<Description>& descriptions);

} // namespace VadiZov::apidoc
