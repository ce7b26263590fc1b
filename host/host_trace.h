// --trace: every call the library makes into the host, one line each on stderr.
#pragma once

namespace VadiZov::host {

void setTraceEnabled(bool on);
bool traceEnabled();
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Quotes a C string for a trace line; null shows as null.
const char* quoted(const char* text, char* buffer, int size);

} // namespace VadiZov::host
