#include "extension_script.h"

namespace VadiZov::ui {

namespace {

struct Member {
    const char* member;  // after "velkor."
    bool takesString;    // the wrapper has the parameter `str`
    const char* native;  // the native function and the process message
};

// The members of the velkor object, in the order the script declares them.
constexpr Member kMembers[] = {
    {"sendGameEngine", true, "sendGE"},
    {"sendActiveObjectLua", true, "sendOLua"},
    {"sendSystemLua", true, "sendSLua"},
    {"sendEngineLua", true, "sendELua"},
    {"requestVersionInfo", false, "getVerInfo"},
    {"requestSteamInfo", true, "getSteamInfo"},
    {"getCEFContextNo", false, "getCEFContextNo"},
};

} // namespace

std::string ExtensionScriptFixedText()
{
    std::string s = "var velkor;if (!velkor)  velkor = {};(function() {";
    for (const Member& m : kMembers) {
        const std::string native = m.native;
        s += "  velkor.";
        s += m.member;
        s += m.takesString ? " = function(str) {" : " = function() {";
        s += "    native function " + native + "();";
        s += "    return " + native + (m.takesString ? "(str);" : "();");
        s += "  };";
    }
    return s;
}

std::string JsStringLiteral(const std::string& value)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (size_t i = 0; i < value.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(value[i]);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\v': out += "\\v"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\x";
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 15]);
            } else if (c == 0xE2 && i + 2 < value.size() &&
                       static_cast<unsigned char>(value[i + 1]) == 0x80 &&
                       (static_cast<unsigned char>(value[i + 2]) == 0xA8 ||
                        static_cast<unsigned char>(value[i + 2]) == 0xA9)) {
                // U+2028 LINE SEPARATOR and U+2029 PARAGRAPH SEPARATOR end a line in older
                // JavaScript engines, also inside a string literal.
                out += static_cast<unsigned char>(value[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
                i += 2;
            } else {
                out.push_back(char(c));
            }
        }
    }
    return out + "\"";
}

std::string BuildExtensionScript(const std::string& language)
{
    std::string s = ExtensionScriptFixedText();
    if (!language.empty())
        s += "velkor.language=" + JsStringLiteral(language) + ";";
    s += "})();";
    return s;
}

} // namespace VadiZov::ui
