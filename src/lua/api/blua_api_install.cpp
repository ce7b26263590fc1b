// Hands the scripting API to the state wrapper as the library is loaded: every state made after
// that (the system state, each object's) gets it, while the wrapper and the parts of the library
// that make states know nothing of the API above them.
#include "lua/api/blua_api.h"
#include "lua/blua.h"

namespace VadiZov {

namespace {

struct InstallLuaApi {
    InstallLuaApi() { setLuaApiRegistration(&registerLuaApi); }
};
const InstallLuaApi installLuaApi;

} // namespace

} // namespace VadiZov
