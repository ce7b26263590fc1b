// OurClientAppExtensionHandler: serves the native functions of the extension "v8/velkor"
// by posting process messages to the browser process.
#pragma once

#include <atomic>
#include <cstdint>

#include "cef/cef_app.h"
#include "cef/cef_v8.h"

class OurClientAppExtensionHandler : public CefV8Handler {
public:
    explicit OurClientAppExtensionHandler(CefRefPtr<CefApp> app);

    bool Execute(const CefString& name, CefRefPtr<CefV8Value> object,
                 const CefV8ValueList& arguments, CefRefPtr<CefV8Value>& retval,
                 CefString& exception) override;

    bool SendToParent(const CefString& name, const CefV8ValueList& arguments,
                      CefString& exception);

    int AddRef() override;
    int Release() override;
    int GetRefCt() override;

    static int LiveInstances();  // a test aid

protected:
    ~OurClientAppExtensionHandler() override;

private:
    CefRefPtr<CefApp> app;  // keeps the application alive; used for nothing else
    std::atomic<int32_t> refCount{0};
};
