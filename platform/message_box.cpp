#include "platform/message_box.h"

#include <cstdio>

namespace VadiZov::platform {

void messageBox(const char* caption, const char* text, BoxKind kind)
{
    std::fprintf(stderr, "[%s] %s\n%s\n", kind == BoxKind::Error ? "error" : "information",
                 caption ? caption : "", text ? text : "");
    std::fflush(stderr);
}

} // namespace VadiZov::platform
