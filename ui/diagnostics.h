// The program's diagnostics: bare texts on standard output without a line end.
// Each is flushed at once, so that it is not lost in the stream's buffer
// when the process ends abnormally.
#pragma once

#include <cstdio>

namespace VadiZov::ui {

inline void Diagnostic(const char* text)
{
    std::printf("%s", text);
    std::fflush(stdout);
}

} // namespace VadiZov::ui
