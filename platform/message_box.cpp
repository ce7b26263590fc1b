#include "platform/message_box.h"

#include <cstdio>

namespace VadiZov::platform {

void messageBox(const char* caption, const char* text, BoxKind kind)
{
    const char* kindName = kind == BoxKind::Error     ? "error"
                           : kind == BoxKind::Warning ? "warning"
                                                      : "information";
    std::fprintf(stderr, "[%s] %s\n%s\n", kindName, caption ? caption : "", text ? text : "");
    std::fflush(stderr);
}

} // namespace VadiZov::platform
