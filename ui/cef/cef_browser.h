// CefBrowser and CefFrame as the render process sees them.
#pragma once

#include <cstdint>

#include "cef/cef_process_message.h"

class CefFrame;

class CefBrowser : public virtual CefBase {
public:
    virtual int GetIdentifier() = 0;
    virtual bool IsSame(CefRefPtr<CefBrowser> that) = 0;
    virtual CefRefPtr<CefFrame> GetMainFrame() = 0;
    // True when the message was sent; the message may not be used afterwards.
    virtual bool SendProcessMessage(CefProcessId target_process,
                                    CefRefPtr<CefProcessMessage> message) = 0;
};

class CefFrame : public virtual CefBase {
public:
    virtual bool IsValid() = 0;
    virtual bool IsMain() = 0;
    virtual int64_t GetIdentifier() = 0;
    virtual CefString GetURL() = 0;
    virtual CefRefPtr<CefBrowser> GetBrowser() = 0;
    virtual void ExecuteJavaScript(const CefString& code, const CefString& script_url,
                                   int start_line) = 0;
};
