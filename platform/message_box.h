// Information and failure boxes. There is no desktop here: the box is its caption and text on
// standard error, and it returns at once as if the user had pressed OK.
#pragma once

namespace VadiZov::platform {

enum class BoxKind { Information, Error, Warning };

void messageBox(const char* caption, const char* text, BoxKind kind);

} // namespace VadiZov::platform
