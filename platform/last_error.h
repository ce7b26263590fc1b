// The last error of a failed platform call, kept per thread like the OS does, and its text.
#pragma once

#include <string>

namespace VadiZov::platform {

constexpr int kErrorInvalidHandle = 6;      // EBADF-like: no such object
constexpr int kErrorInvalidParameter = 22;  // EINVAL

int getLastError();
void setLastError(int code);
// Sets the last error from errno and returns it.
int setLastErrorFromErrno();
// The system's message text for an error code (no trailing line end); "" for 0.
std::string errorText(int code);

} // namespace VadiZov::platform
