// The runtime's shared state and report helpers, for the runtime's own files.
#pragma once

#include <string>
#include <vector>

#include "cef/cef_runtime.h"

namespace VadiZov::cef_runtime {

struct State {
    ReportSink sink;
    FILE* reportFile = nullptr;
    bool reportFileOpened = false;
    Faults faults;
    bool extensionsOpen = false;  // only during OnWebKitInitialized
    std::vector<Extension> extensions;
    std::vector<CefRefPtr<CefV8Context>> contexts;  // the current context is the last
};

State& S();

const char* Bool(bool b);
// The list as a JSON array.
std::string ArgsJson(CefRefPtr<CefListValue> list);
void ReportError(const std::string& text);
void ReportCallback(const std::string& name, const std::string& extra = std::string());

} // namespace VadiZov::cef_runtime
