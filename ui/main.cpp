// Velkor.ui: the entry point of the UI sub-process.
#include <cstdlib>
#include <new>

#include "base/bhighperf_timer.h"
#include "cef/cef_app.h"
#include "platform/message_box.h"
#include "velkor_app.h"

// The start-up timer: made during static initialisation, before the entry point runs; null
// when the allocation fails. Nothing reads it afterwards and it is never freed.
VadiZov::HighPerfTimer* g_startupTimer = new (std::nothrow) VadiZov::HighPerfTimer();

namespace {

constexpr const char* kBoxCaption = "Velkor.ui: Chromium Embedded Framework Wrapper";
constexpr const char* kBoxText =
    "This program is a helper utility for Rovanta to render the User Interface.\n"
    "You should not run this manually.";

} // namespace

// The Windows entry receives the command line after the program name; here that is argv[1..].
// It is present and empty when the program was started with no argument at all (argc == 1).
int main(int argc, char* argv[])
{
    if (argc == 1) {
        VadiZov::platform::messageBox(kBoxCaption, kBoxText,
                                      VadiZov::platform::BoxKind::Information);
        std::exit(0);
    }
    CefMainArgs mainArgs(argc, argv);
    CefRefPtr<VelkorCefApp> app = new VelkorCefApp();
    int code = CefExecuteProcess(mainArgs, app.get(), nullptr);
    app = nullptr;  // the program's reference
    return code;
}
