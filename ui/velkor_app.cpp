#include "velkor_app.h"

#include <cstring>

#include "cef/cef_url.h"
#include "diagnostics.h"
#include "extension_handler.h"
#include "extension_script.h"
#include "platform/shell_open.h"
#include "whitelist.h"

namespace {
std::atomic<int> g_liveApps{0};
} // namespace

VelkorCefApp::VelkorCefApp() { ++g_liveApps; }

VelkorCefApp::~VelkorCefApp() { --g_liveApps; }

int VelkorCefApp::LiveInstances() { return g_liveApps.load(); }

// ---- CefBase --------------------------------------------------------------------------------

int VelkorCefApp::AddRef() { return refCount.fetch_add(1) + 1; }

int VelkorCefApp::Release()
{
    int count = refCount.fetch_sub(1) - 1;
    if (count == 0)
        delete this;
    return count;
}

int VelkorCefApp::GetRefCt() { return refCount.load(); }

// ---- start-up and schemes -------------------------------------------------------------------------------

void VelkorCefApp::OnBeforeCommandLineProcessing(const CefString& /*process_type*/,
                                                 CefRefPtr<CefCommandLine> command_line)
{
    language = "en-US";
    CefCommandLine::SwitchMap switches;
    command_line->GetSwitches(switches);
    auto it = switches.find(CefString("lang"));  // exact, case-sensitive
    if (it != switches.end())
        language = it->second.ToString();
}

CefRefPtr<CefBrowserProcessHandler> VelkorCefApp::GetBrowserProcessHandler() { return this; }

CefRefPtr<CefRenderProcessHandler> VelkorCefApp::GetRenderProcessHandler() { return this; }

void VelkorCefApp::OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> /*command_line*/)
{
    // The child's command line stays exactly as CEF built it.
}

// ---- JavaScript bridge -------------------------------------------------------------------------------

void VelkorCefApp::OnWebKitInitialized()
{
    const std::string script = VadiZov::ui::BuildExtensionScript(language);
    CefRefPtr<OurClientAppExtensionHandler> handler = new OurClientAppExtensionHandler(this);
    if (!CefRegisterExtension(CefString("v8/velkor"), CefString(script), handler.get()))
        VadiZov::ui::Diagnostic("CEF|Error|JS registration failed");
}

bool VelkorCefApp::OnProcessMessageReceived(CefRefPtr<CefBrowser> browser,
                                            CefProcessId /*source_process*/,
                                            CefRefPtr<CefProcessMessage> message)
{
    if (!browser || !message)
        return false;
    const CefString name = message->GetName();
    if (name == CefString("executeJS")) {
        CefRefPtr<CefListValue> args = message->GetArgumentList();
        if (args && args->GetSize() == 1 && args->GetType(0) == VTYPE_STRING) {
            CefRefPtr<CefFrame> frame = browser->GetMainFrame();
            if (frame)
                frame->ExecuteJavaScript(args->GetString(0), CefString("velkor"), 1);
            return true;
        }
    } else if (name == CefString("ping")) {
        browser->SendProcessMessage(PID_BROWSER, CefProcessMessage::Create(CefString("pong")));
        return false;
    }
    return false;
}

// ---- navigation policy -------------------------------------------------------------------------------

void VelkorCefApp::OnRegisterCustomSchemes(CefRefPtr<CefSchemeRegistrar> registrar)
{
    registrar->AddCustomScheme(CefString("local"), true, false, false);
}

bool VelkorCefApp::IsWhitelisted(const std::string& url)
{
    for (const char* prefix : VadiZov::ui::kNavigationWhitelist) {
        const size_t length = std::strlen(prefix);
        // The comparison stops at the end of a URL shorter than the prefix.
        if (url.size() >= length && url.compare(0, length, prefix) == 0)
            return true;
    }
    return false;
}

std::string VelkorCefApp::OpenerUrl(const std::string& spec)
{
    // The parser has already trimmed the URL and dropped tabs and line breaks; a control
    // character left inside (NUL would end the opener's argument) is percent-escaped.
    static const char kHex[] = "0123456789ABCDEF";
    std::string url;
    for (const char c : spec) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            url += '%';
            url += kHex[byte >> 4];
            url += kHex[byte & 0xF];
        } else {
            url += c;
        }
    }
    return url;
}

bool VelkorCefApp::OnBeforeNavigation(CefRefPtr<CefBrowser> /*browser*/,
                                      CefRefPtr<CefFrame> /*frame*/, CefRefPtr<CefRequest> request,
                                      NavigationType /*navigation_type*/, bool /*is_redirect*/)
{
    const CefString url16 = request->GetURL();
    const std::string url = url16.ToString();
    CefURLParts parts;
    CefParseURL(url16, parts);  // a URL that does not parse leaves the scheme empty
    const std::string scheme = parts.scheme.ToString();
    const bool whitelisted = IsWhitelisted(url);

    static const std::string kExternal = "http-external";  // 13 characters
    const std::string normalised = OpenerUrl(parts.spec.ToString());
    if (scheme == kExternal && whitelisted && normalised.size() >= kExternal.size()) {
        // "http-external://" becomes "http://"; the rest is the URL as the parser read it. The
        // URL reaches the opener as its only argument, never through a shell.
        VadiZov::platform::openUrl("http" + normalised.substr(kExternal.size()));
        return true;
    }
    if (whitelisted)
        return false;
    return !(scheme == "local" || scheme == "chrome-devtools");
}
