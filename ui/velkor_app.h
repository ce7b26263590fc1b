// VelkorCefApp: the application object of the UI sub-process with its
// render-process callbacks. One shared CefBase, one reference count.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "cef/cef_app.h"

class VelkorCefApp : public CefApp, public CefBrowserProcessHandler, public CefRenderProcessHandler {
public:
    VelkorCefApp();

    // CefApp
    void OnBeforeCommandLineProcessing(const CefString& process_type,
                                       CefRefPtr<CefCommandLine> command_line) override;
    void OnRegisterCustomSchemes(CefRefPtr<CefSchemeRegistrar> registrar) override;
    CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() override;
    CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() override;

    // CefBase: interlocked; Release deletes the object at 0.
    int AddRef() override;
    int Release() override;
    int GetRefCt() override;

    // CefRenderProcessHandler
    void OnWebKitInitialized() override;
    bool OnBeforeNavigation(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                            CefRefPtr<CefRequest> request, NavigationType navigation_type,
                            bool is_redirect) override;
    bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                  CefRefPtr<CefProcessMessage> message) override;

    // CefBrowserProcessHandler
    void OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> command_line) override;

    // True when `url` begins with one of the whitelist's prefixes (whitelist.h).
    static bool IsWhitelisted(const std::string& url);
    // What the opener is given for a parsed URL: control characters percent-escaped.
    static std::string OpenerUrl(const std::string& spec);

    const std::string& GetLanguage() const { return language; }

    // Objects of this class alive in the process (a test aid; not a field of the object).
    static int LiveInstances();

protected:
    ~VelkorCefApp() override;

private:
    std::atomic<int32_t> refCount{0};
    std::string language;  // UTF-8; set by OnBeforeCommandLineProcessing
};
