// The process entry: CefExecuteProcess makes CEF's start-up callbacks and, for a render
// process, plays the page until its command script ends.
#include "cef/cef_runtime_state.h"

#include <cstdlib>
#include <iostream>

#include "cef/cef_values_impl.h"

namespace VadiZov::cef_runtime {

namespace {

class SchemeRegistrarImpl : public CefSchemeRegistrar {
public:
    void Detach() { valid_ = false; }
    bool AddCustomScheme(const CefString& scheme_name, bool is_standard, bool is_local,
                         bool is_display_isolated) override
    {
        bool ok = valid_ && !scheme_name.empty();
        for (const CefString& s : registered_)
            if (s == scheme_name)
                ok = false;
        if (ok)
            registered_.push_back(scheme_name);
        Report(std::string("{\"event\":\"scheme\",\"name\":") + JsonQuote(scheme_name) +
               ",\"standard\":" + Bool(is_standard) + ",\"local\":" + Bool(is_local) +
               ",\"display_isolated\":" + Bool(is_display_isolated) + ",\"result\":" + Bool(ok) +
               "}");
        return ok;
    }

private:
    bool valid_ = true;
    std::vector<CefString> registered_;

    IMPLEMENT_REFCOUNTING(SchemeRegistrarImpl)
};

void ApplyFaultsFromEnvironment()
{
    const char* value = std::getenv("VELKOR_CEF_INJECT");
    if (!value)
        return;
    std::string list = value;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string name = list.substr(start, comma == std::string::npos ? std::string::npos
                                                                          : comma - start);
        if (!name.empty() && !SetFault(name, true))
            ReportError("unknown fault: " + name);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
}

int RunRenderer(CefRefPtr<CefApp> app)
{
    CefRefPtr<CefRenderProcessHandler> handler =
        app ? app->GetRenderProcessHandler() : CefRefPtr<CefRenderProcessHandler>();
    ReportCallback("GetRenderProcessHandler",
                   std::string(",\"result\":\"") + (handler ? "handler" : "none") + "\"");
    if (!handler) {
        std::string line;
        while (std::getline(std::cin, line)) {
        }
        return 0;
    }
    CefRefPtr<ListValueImpl> extra = new ListValueImpl();
    extra->SetReadOnly(true);
    ReportCallback("OnRenderThreadCreated");
    handler->OnRenderThreadCreated(extra.get());
    RunWebKitInitialized(handler);

    CefRefPtr<CefBrowser> browser = CreateBrowser(1);
    ReportCallback("OnBrowserCreated");
    handler->OnBrowserCreated(browser);
    {
        CefRefPtr<CefV8Context> context = CreateContext(browser);
        ReportCallback("OnContextCreated");
        handler->OnContextCreated(browser, browser->GetMainFrame(), context);
    }
    ServeCommands(std::cin, handler, browser);
    ReportCallback("OnBrowserDestroyed");
    handler->OnBrowserDestroyed(browser);
    return 0;
}

} // namespace

} // namespace VadiZov::cef_runtime

using namespace VadiZov::cef_runtime;

int CefExecuteProcess(const CefMainArgs& args, CefRefPtr<CefApp> application,
                      void* /*windows_sandbox_info*/)
{
    CefRefPtr<CefCommandLine> commandLine = CefCommandLine::CreateCommandLine();
    commandLine->InitFromArgv(args.argc, args.argv);
    CefString processType = commandLine->GetSwitchValue(CefString("type"));
    if (processType.empty())
        return -1;  // the browser process: nothing to run here

    ApplyFaultsFromEnvironment();
    Report("{\"event\":\"process\",\"type\":" + JsonQuote(processType) + "}");
    if (application) {
        CefString before = commandLine->GetCommandLineString();
        ReportCallback("OnBeforeCommandLineProcessing",
                       ",\"process_type\":" + JsonQuote(processType));
        application->OnBeforeCommandLineProcessing(processType, commandLine);
        Report(std::string("{\"event\":\"command-line\",\"changed\":") +
               (commandLine->GetCommandLineString() == before ? "false" : "true") + "}");

        CefRefPtr<CefResourceBundleHandler> bundle = application->GetResourceBundleHandler();
        ReportCallback("GetResourceBundleHandler",
                       std::string(",\"result\":\"") + (bundle ? "handler" : "none") + "\"");

        CefRefPtr<SchemeRegistrarImpl> registrar = new SchemeRegistrarImpl();
        ReportCallback("OnRegisterCustomSchemes");
        application->OnRegisterCustomSchemes(registrar.get());
        registrar->Detach();  // valid only during the callback
    }
    int code = 0;
    if (processType == CefString("renderer"))
        code = RunRenderer(application);
    ClearExtensions();
    Report("{\"event\":\"exit\",\"code\":" + std::to_string(code) + ",\"caller_refs\":" +
           std::to_string(application ? application->GetRefCt() - 1 : 0) + "}");
    return code;
}
