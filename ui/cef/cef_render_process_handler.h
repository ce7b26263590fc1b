// Render-process callbacks of the application. Every operation has CEF's empty default.
#pragma once

#include "cef/cef_browser.h"
#include "cef/cef_request.h"
#include "cef/cef_v8.h"

class CefLoadHandler : public virtual CefBase {};
class CefDOMNode : public virtual CefBase {};

class CefRenderProcessHandler : public virtual CefBase {
public:
    typedef enum {
        NAVIGATION_LINK_CLICKED = 0,
        NAVIGATION_FORM_SUBMITTED,
        NAVIGATION_BACK_FORWARD,
        NAVIGATION_RELOAD,
        NAVIGATION_FORM_RESUBMITTED,
        NAVIGATION_OTHER,
    } NavigationType;

    virtual void OnRenderThreadCreated(CefRefPtr<CefListValue> /*extra_info*/) {}
    virtual void OnWebKitInitialized() {}
    virtual void OnBrowserCreated(CefRefPtr<CefBrowser> /*browser*/) {}
    virtual void OnBrowserDestroyed(CefRefPtr<CefBrowser> /*browser*/) {}
    virtual CefRefPtr<CefLoadHandler> GetLoadHandler() { return nullptr; }
    // True cancels the navigation.
    virtual bool OnBeforeNavigation(CefRefPtr<CefBrowser> /*browser*/,
                                    CefRefPtr<CefFrame> /*frame*/,
                                    CefRefPtr<CefRequest> /*request*/,
                                    NavigationType /*navigation_type*/, bool /*is_redirect*/)
    {
        return false;
    }
    virtual void OnContextCreated(CefRefPtr<CefBrowser> /*browser*/, CefRefPtr<CefFrame> /*frame*/,
                                  CefRefPtr<CefV8Context> /*context*/)
    {
    }
    virtual void OnContextReleased(CefRefPtr<CefBrowser> /*browser*/,
                                   CefRefPtr<CefFrame> /*frame*/,
                                   CefRefPtr<CefV8Context> /*context*/)
    {
    }
    virtual void OnUncaughtException(CefRefPtr<CefBrowser> /*browser*/,
                                     CefRefPtr<CefFrame> /*frame*/,
                                     CefRefPtr<CefV8Context> /*context*/,
                                     CefRefPtr<CefV8Exception> /*exception*/,
                                     CefRefPtr<CefV8StackTrace> /*stackTrace*/)
    {
    }
    virtual void OnFocusedNodeChanged(CefRefPtr<CefBrowser> /*browser*/,
                                      CefRefPtr<CefFrame> /*frame*/, CefRefPtr<CefDOMNode> /*node*/)
    {
    }
    // True when the message was handled.
    virtual bool OnProcessMessageReceived(CefRefPtr<CefBrowser> /*browser*/,
                                          CefProcessId /*source_process*/,
                                          CefRefPtr<CefProcessMessage> /*message*/)
    {
        return false;
    }
};
