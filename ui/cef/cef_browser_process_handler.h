// Browser-process callbacks of the application. Every operation has CEF's empty default.
#pragma once

#include "cef/cef_command_line.h"
#include "cef/cef_values.h"

class CefBrowserProcessHandler : public virtual CefBase {
public:
    virtual void OnContextInitialized() {}
    virtual void OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> /*command_line*/) {}
    virtual void OnRenderProcessThreadCreated(CefRefPtr<CefListValue> /*extra_info*/) {}
};
