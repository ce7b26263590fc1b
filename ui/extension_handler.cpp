#include "extension_handler.h"

#include "cef/cef_browser.h"
#include "diagnostics.h"

namespace {

std::atomic<int> g_liveHandlers{0};

struct NativeFunction {
    const char* name;
    bool oneString;  // exactly one argument, a string; else no argument
};

// In the order the rows are tried.
constexpr NativeFunction kNativeFunctions[] = {
    {"sendGE", true},      {"sendOLua", true},     {"sendSLua", true},
    {"sendELua", true},    {"getVerInfo", false},  {"getSteamInfo", true},
    {"getCEFContextNo", false},
};

} // namespace

OurClientAppExtensionHandler::OurClientAppExtensionHandler(CefRefPtr<CefApp> app_arg)
    : app(app_arg)
{
    ++g_liveHandlers;
}

OurClientAppExtensionHandler::~OurClientAppExtensionHandler() { --g_liveHandlers; }

int OurClientAppExtensionHandler::LiveInstances() { return g_liveHandlers.load(); }

int OurClientAppExtensionHandler::AddRef() { return refCount.fetch_add(1) + 1; }

int OurClientAppExtensionHandler::Release()
{
    int count = refCount.fetch_sub(1) - 1;
    if (count == 0)
        delete this;
    return count;
}

int OurClientAppExtensionHandler::GetRefCt() { return refCount.load(); }

bool OurClientAppExtensionHandler::Execute(const CefString& name, CefRefPtr<CefV8Value> /*object*/,
                                           const CefV8ValueList& arguments,
                                           CefRefPtr<CefV8Value>& /*retval*/, CefString& exception)
{
    for (const NativeFunction& f : kNativeFunctions) {
        if (name != CefString(f.name))
            continue;
        const bool rule = f.oneString
                              ? arguments.size() == 1 && arguments[0] && arguments[0]->IsString()
                              : arguments.empty();
        if (rule)
            return SendToParent(name, arguments, exception);
    }
    exception = CefString("Invalid method");
    return false;
}

bool OurClientAppExtensionHandler::SendToParent(const CefString& name,
                                                const CefV8ValueList& arguments,
                                                CefString& exception)
{
    // No current context is treated like a context without a browser.
    CefRefPtr<CefV8Context> context = CefV8Context::GetCurrentContext();
    CefRefPtr<CefBrowser> browser = context ? context->GetBrowser() : CefRefPtr<CefBrowser>();
    if (!browser) {
        exception = CefString("Could not communicate with parent process");
        return false;
    }
    CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create(name);
    CefRefPtr<CefListValue> list = message->GetArgumentList();
    for (size_t i = 0; i < arguments.size(); ++i) {
        const CefRefPtr<CefV8Value>& value = arguments[i];
        bool stored;
        if (value && value->IsString())
            stored = list->SetString(i, value->GetStringValue());
        else if (value && value->IsInt())
            stored = list->SetInt(i, value->GetIntValue());
        else
            continue;  // any other value sets nothing at this index
        if (!stored)
            VadiZov::ui::Diagnostic("CEF|Error|Message SetString failed");
    }
    return browser->SendProcessMessage(PID_BROWSER, message);
}
