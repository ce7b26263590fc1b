// Serials of library objects that a script may still hold after the library freed them (props
// and flexible meshes replaced in their slot or cleared with their object). A Lua value keeps
// the pointer and its serial; the pointer is used only while the registry still names that
// serial for it, so a freed object, or a new one at the same address, is never reached.
#pragma once

#include <cstdint>

namespace VadiZov {

// A new serial for the object (never 0); replaces an earlier registration of the address.
uint64_t beginLifetime(const void* object);
void endLifetime(const void* object);
// 0 when the object is not registered.
uint64_t lifetimeSerial(const void* object);
bool isAlive(const void* object, uint64_t serial);

} // namespace VadiZov
