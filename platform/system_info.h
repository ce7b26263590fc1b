// What the running operating system is.
#pragma once

namespace VadiZov::platform {

// True when the kernel reports a 64-bit machine. Follows the process's personality, so a run
// under `setarch i686` sees a 32-bit system.
bool operatingSystemIs64Bit();

// Cores this process may run on: its affinity mask when the kernel gives it (a run under
// `taskset -c 7` has one), else every core the machine has; at least 1.
int usableCoreCount();

} // namespace VadiZov::platform
