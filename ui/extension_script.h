// The script of the V8 extension "v8/velkor".
#pragma once

#include <string>

namespace VadiZov::ui {

// The fixed head and the seven member definitions: 777 characters.
std::string ExtensionScriptFixedText();

// The whole script for a UI language (UTF-8): the fixed text, then, only when `language` is
// not empty, the statement that sets velkor.language, then "})();".
// The language is written as a JavaScript string literal (JsStringLiteral), not pasted
// unescaped between two quotation marks: a quotation mark in it cannot end the string and run
// as code. Ordinary values give the same text either way.
std::string BuildExtensionScript(const std::string& language);

// `value` (UTF-8) as a double-quoted JavaScript string literal: backslash, quotation mark,
// control characters and the line terminators U+2028 and U+2029 are escaped; everything else
// is copied unchanged.
std::string JsStringLiteral(const std::string& value);

} // namespace VadiZov::ui
