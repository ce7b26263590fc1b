// The one table of descriptions of the scripting API (lua_api_descriptions.cpp).
#pragma once

#include <vector>

#include "tools/lua_api_doc/lua_api_markdown.h"

namespace VadiZov::apidoc {

const std::vector<Description>& apiDescriptions();

} // namespace VadiZov::apidoc
