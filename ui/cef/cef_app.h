// CefApp, the main arguments and the sub-process entry.
#pragma once

#include "cef/cef_browser_process_handler.h"
#include "cef/cef_command_line.h"
#include "cef/cef_render_process_handler.h"
#include "cef/cef_scheme.h"

class CefResourceBundleHandler : public virtual CefBase {};

class CefApp : public virtual CefBase {
public:
    // process_type is empty in the browser process.
    virtual void OnBeforeCommandLineProcessing(const CefString& /*process_type*/,
                                               CefRefPtr<CefCommandLine> /*command_line*/)
    {
    }
    virtual void OnRegisterCustomSchemes(CefRefPtr<CefSchemeRegistrar> /*registrar*/) {}
    virtual CefRefPtr<CefResourceBundleHandler> GetResourceBundleHandler() { return nullptr; }
    virtual CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() { return nullptr; }
    virtual CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() { return nullptr; }
};

// The process's arguments (CEF's POSIX shape; on Windows it holds the instance handle).
struct CefMainArgs {
    CefMainArgs() = default;
    CefMainArgs(int argc_arg, char** argv_arg) : argc(argc_arg), argv(argv_arg) {}
    int argc = 0;
    char** argv = nullptr;
};

// Runs the sub-process that "--type" names to its end and returns its exit code; returns -1
// at once, touching nothing, when the command line names no sub-process type (the browser
// process). No sandbox information is used.
int CefExecuteProcess(const CefMainArgs& args, CefRefPtr<CefApp> application,
                      void* windows_sandbox_info);
