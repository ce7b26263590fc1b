// What the running operating system is.
#pragma once

namespace VadiZov::platform {

// True when the kernel reports a 64-bit machine. Follows the process's personality, so a run
// under `setarch i686` sees a 32-bit system.
bool operatingSystemIs64Bit();

} // namespace VadiZov::platform
