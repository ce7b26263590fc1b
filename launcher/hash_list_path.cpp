#include "launcher/hash_list_path.h"

#include "launcher/replace_first.h"

namespace VadiZov {

namespace {

// Decodes one UTF-8 character at `i`; returns its length, or 0 when the bytes are not a
// valid, shortest-form encoding of a code point.
size_t decodeUtf8(const std::string& text, size_t i, char32_t* codePoint)
{
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length;
    char32_t value;
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    const char32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *codePoint = value;
    return length;
}

bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

void appendHex(std::string& out, unsigned value, int digits)
{
    static const char kDigits[] = "0123456789ABCDEF";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out += kDigits[(value >> shift) & 0xF];
}

// '?' starts every escape and never stands for itself, so each name has one spelling.
void appendEscapedCharacter(std::string& out, char32_t c)
{
    out += '?';
    if (c <= 0xFF) {
        appendHex(out, unsigned(c), 2);
    } else if (c <= 0xFFFF) {
        out += 'u';
        appendHex(out, unsigned(c), 4);
    } else {
        out += 'U';
        appendHex(out, unsigned(c), 6);
    }
}

} // namespace

std::string hashListPath(const std::string& path, const std::string& directory)
{
    std::string relative = path;
    replaceFirst(relative, directory, "");
    std::string written;
    written.reserve(relative.size());
    for (size_t i = 0; i < relative.size();) {
        char32_t c = 0;
        const size_t length = decodeUtf8(relative, i, &c);
        if (length == 0) {
            written += "?x";
            appendHex(written, static_cast<unsigned char>(relative[i]), 2);
            ++i;
            continue;
        }
        i += length;
        if (c == '/')
            written += '\\';
        else if (c == '\\' || c == '?' || isControl(c) || c > 0xFF)
            appendEscapedCharacter(written, c);
        else
            written += static_cast<char>(c);
    }
    return written;
}

} // namespace VadiZov
