// The runtime behind the CEF-shaped layer: it plays the browser process and a page.
//
// CefExecuteProcess with "--type=renderer" makes the callbacks CEF would make (command line,
// resource bundle, custom schemes, render thread created, WebKit initialised, browser
// created), then serves commands from standard input, one per line, until end of input, and
// reports what the program did on its own channel: the file named by VELKOR_CEF_REPORT
// (appended), else standard error. Each report is one line holding one JSON object with an
// "event" member; strings are JSON strings with every non-ASCII UTF-16 unit escaped (\uXXXX).
// Other process types get the command-line and scheme callbacks and return 0.
//
// Commands (arguments are separated by blanks; strings are JSON strings):
//   call NAME ARG...            the page calls native function NAME in a context with a browser
//   call-nobrowser NAME ARG...  ... in a context that belongs to no browser
//   call-nocontext NAME ARG...  ... with no current V8 context at all
//       ARG: "string", a number (an integral value within 32 bits is held as int, as V8
//            does), true, false, null, undefined, {} (object), [] (array), function
//   message NAME ARG...         the browser process sends message NAME to the renderer
//       ARG: "string", integer (int), number with '.' or exponent (double), true, false, null
//   navigate URL [redirect]     the page starts a navigation to the JSON string URL
//   inject FAULT on|off         refuse-extensions, list-set-fails, send-fails
//   exit-now CODE               ends the process at once, with no clean-up (_exit)
//   # ...                       a comment; blank lines are skipped
// VELKOR_CEF_INJECT (comma-separated FAULT names) turns faults on before the first callback.
//
// Events: process, callback, command-line, scheme, extension, call, send, execute-js,
// message, navigation, error, exit. See cef_report.cpp for their members.
#pragma once

#include <functional>
#include <istream>
#include <string>
#include <vector>

#include "cef/cef_app.h"

namespace VadiZov::cef_runtime {

// Report channel. An empty sink restores the default (VELKOR_CEF_REPORT or standard error).
using ReportSink = std::function<void(const std::string& line)>;
void SetReportSink(ReportSink sink);
void Report(const std::string& jsonLine);

// A JSON string literal of `s`; every character outside printable ASCII is escaped.
std::string JsonQuote(const CefString& s);

struct Faults {
    bool refuseExtensions = false;  // CefRegisterExtension returns false
    bool listSetFails = false;      // the setters of writable lists return false
    bool sendFails = false;         // CefBrowser::SendProcessMessage returns false
};
Faults& InjectedFaults();
bool SetFault(const std::string& name, bool on);  // false for an unknown name

// Pieces of the page, for tests that drive the program in-process.
CefRefPtr<CefBrowser> CreateBrowser(int id);
CefRefPtr<CefV8Context> CreateContext(CefRefPtr<CefBrowser> browser);  // browser may be null
CefRefPtr<CefProcessMessage> CreateIncomingMessage(const CefString& name,
                                                   CefRefPtr<CefListValue> arguments);

// Makes `context` (may be null: no context) the current V8 context for the scope.
class ScopedCurrentContext {
public:
    explicit ScopedCurrentContext(CefRefPtr<CefV8Context> context);
    ~ScopedCurrentContext();
    ScopedCurrentContext(const ScopedCurrentContext&) = delete;
    ScopedCurrentContext& operator=(const ScopedCurrentContext&) = delete;
};

// Calls handler->OnWebKitInitialized() with extension registration open, as CEF does.
void RunWebKitInitialized(CefRefPtr<CefRenderProcessHandler> handler);

struct Extension {
    CefString name;
    CefString code;
    CefRefPtr<CefV8Handler> handler;
};
const std::vector<Extension>& Extensions();
void ClearExtensions();  // releases the handlers

// Serves the command script in `in` (see above) against `handler` and `browser`.
void ServeCommands(std::istream& in, CefRefPtr<CefRenderProcessHandler> handler,
                   CefRefPtr<CefBrowser> browser);

} // namespace VadiZov::cef_runtime
