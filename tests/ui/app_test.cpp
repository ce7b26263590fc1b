// VelkorCefApp and OurClientAppExtensionHandler driven in-process through the runtime.
#include <gtest/gtest.h>

#include "cef/cef_runtime.h"
#include "extension_handler.h"
#include "extension_script.h"
#include "test_support.h"
#include "velkor_app.h"

namespace {

// Collects the runtime's reports for the test's duration.
struct Capture {
    Capture()
    {
        VadiZov::cef_runtime::SetReportSink([this](const std::string& l) { lines.push_back(l); });
    }
    ~Capture() { VadiZov::cef_runtime::SetReportSink(nullptr); }
    std::vector<std::string> lines;
};

CefRefPtr<CefCommandLine> commandLine(std::vector<const char*> argv)
{
    CefRefPtr<CefCommandLine> cl = CefCommandLine::CreateCommandLine();
    cl->InitFromArgv(int(argv.size()), argv.data());
    return cl;
}

std::string languageFor(std::vector<const char*> argv)
{
    CefRefPtr<VelkorCefApp> app = new VelkorCefApp();
    app->OnBeforeCommandLineProcessing("renderer", commandLine(argv));
    return app->GetLanguage();
}

} // namespace

TEST(VelkorCefApp, ReferenceCountingSharesOneCount)
{
    const int before = VelkorCefApp::LiveInstances();
    VelkorCefApp* raw = new VelkorCefApp();
    EXPECT_EQ(raw->GetRefCt(), 0);
    EXPECT_EQ(raw->AddRef(), 1);
    {
        CefRefPtr<CefBrowserProcessHandler> b = raw->GetBrowserProcessHandler();
        CefRefPtr<CefRenderProcessHandler> r = raw->GetRenderProcessHandler();
        CefRefPtr<CefApp> a = raw;
        EXPECT_EQ(raw->GetRefCt(), 4);  // one count for every interface
        EXPECT_EQ(static_cast<CefBase*>(b.get()), static_cast<CefBase*>(raw));
        EXPECT_EQ(static_cast<CefBase*>(r.get()), static_cast<CefBase*>(raw));
        EXPECT_EQ(a->GetResourceBundleHandler().get(), nullptr);
        EXPECT_EQ(r->GetLoadHandler().get(), nullptr);
    }
    EXPECT_EQ(raw->GetRefCt(), 1);
    EXPECT_EQ(VelkorCefApp::LiveInstances(), before + 1);
    EXPECT_EQ(raw->Release(), 0);
    EXPECT_EQ(VelkorCefApp::LiveInstances(), before);
}

TEST(VelkorCefApp, LanguageSwitch)
{
    EXPECT_EQ(languageFor({"Velkor.ui", "--type=renderer"}), "en-US");
    EXPECT_EQ(languageFor({"Velkor.ui", "--type=renderer", "--lang=de-DE"}), "de-DE");
    EXPECT_EQ(languageFor({"Velkor.ui", "--type=renderer", "--lang="}), "");
    EXPECT_EQ(languageFor({"Velkor.ui", "--type=renderer", "--lang"}), "");
    EXPECT_EQ(languageFor({"Velkor.ui", "--LANG=fr-FR"}), "en-US");  // the key is case-sensitive
    EXPECT_EQ(languageFor({"Velkor.ui", "--lang=caf\xC3\xA9"}), "caf\xC3\xA9");
}

TEST(VelkorCefApp, CommandLinesAreLeftUnchanged)
{
    CefRefPtr<VelkorCefApp> app = new VelkorCefApp();
    CefRefPtr<CefCommandLine> cl = commandLine({"Velkor.ui", "--type=renderer", "--lang=x", "a"});
    const CefString before = cl->GetCommandLineString();
    app->OnBeforeCommandLineProcessing("renderer", cl);
    EXPECT_EQ(cl->GetCommandLineString(), before);
    CefRefPtr<CefCommandLine> child = commandLine({"Velkor.ui", "--type=gpu-process", "--x=1"});
    const CefString childBefore = child->GetCommandLineString();
    app->OnBeforeChildProcessLaunch(child);
    EXPECT_EQ(child->GetCommandLineString(), childBefore);
    EXPECT_EQ(child->GetRefCt(), 1);  // not kept
}

TEST(VelkorCefApp, Whitelist)
{
    EXPECT_TRUE(VelkorCefApp::IsWhitelisted("http://repo.velkor.example/"));
    EXPECT_TRUE(VelkorCefApp::IsWhitelisted("http://repo.velkor.example/mods/list?page=2"));
    EXPECT_TRUE(VelkorCefApp::IsWhitelisted("http-external://www.velkor.example/news"));
    EXPECT_TRUE(VelkorCefApp::IsWhitelisted("http-external://forum.velkor.example/t/1"));
    EXPECT_TRUE(VelkorCefApp::IsWhitelisted("http-external://wiki.velkor.example/"));
    EXPECT_TRUE(VelkorCefApp::IsWhitelisted("http-external://store.velkor.example/x"));
    EXPECT_FALSE(VelkorCefApp::IsWhitelisted("http://repo.velkor.example"));  // no final '/'
    EXPECT_FALSE(VelkorCefApp::IsWhitelisted("HTTP://repo.velkor.example/"));
    EXPECT_FALSE(VelkorCefApp::IsWhitelisted("http://Repo.velkor.example/"));
    EXPECT_FALSE(VelkorCefApp::IsWhitelisted("https://repo.velkor.example/"));
    EXPECT_FALSE(VelkorCefApp::IsWhitelisted("http://repo.velkor.example.evil/"));
    EXPECT_FALSE(VelkorCefApp::IsWhitelisted("http-external://www.velkor.example.evil/"));
    EXPECT_FALSE(VelkorCefApp::IsWhitelisted("http-external://repo.velkor.example/"));
    // Short URLs, down to empty, are compared only as far as they go.
    EXPECT_FALSE(VelkorCefApp::IsWhitelisted(""));
    EXPECT_FALSE(VelkorCefApp::IsWhitelisted("h"));
    EXPECT_FALSE(VelkorCefApp::IsWhitelisted("http-external://"));
    std::string bounded("http://repo.velkor.example/", 10);  // a prefix of a prefix
    EXPECT_FALSE(VelkorCefApp::IsWhitelisted(bounded));
}

TEST(VelkorCefApp, RegistersTheLocalSchemeOnly)
{
    Capture cap;
    char prog[] = "Velkor.ui", type[] = "--type=utility";
    char* argv[] = {prog, type, nullptr};
    CefRefPtr<VelkorCefApp> app = new VelkorCefApp();
    EXPECT_EQ(CefExecuteProcess(CefMainArgs(2, argv), app.get(), nullptr), 0);
    int schemes = 0;
    for (const std::string& l : cap.lines)
        if (l.find("\"event\":\"scheme\"") != std::string::npos) {
            ++schemes;
            EXPECT_EQ(l, "{\"event\":\"scheme\",\"name\":\"local\",\"standard\":true,"
                         "\"local\":false,\"display_isolated\":false,\"result\":true}");
        }
    EXPECT_EQ(schemes, 1);
    EXPECT_EQ(app->GetRefCt(), 1);
}

TEST(VelkorCefApp, ExtensionRegistrationAndHandlerLifetime)
{
    const int apps = VelkorCefApp::LiveInstances();
    const int handlers = OurClientAppExtensionHandler::LiveInstances();
    {
        Capture cap;
        CefRefPtr<VelkorCefApp> app = new VelkorCefApp();
        app->OnBeforeCommandLineProcessing("renderer", commandLine({"Velkor.ui", "--lang=de-DE"}));
        VadiZov::cef_runtime::RunWebKitInitialized(app.get());
        ASSERT_EQ(VadiZov::cef_runtime::Extensions().size(), 1u);
        EXPECT_EQ(VadiZov::cef_runtime::Extensions()[0].name.ToString(), "v8/velkor");
        EXPECT_EQ(VadiZov::cef_runtime::Extensions()[0].code.ToString(), VadiZov::ui::BuildExtensionScript("de-DE"));
        EXPECT_EQ(OurClientAppExtensionHandler::LiveInstances(), handlers + 1);
        EXPECT_EQ(app->GetRefCt(), 2);  // ours and the handler's
        app = nullptr;                  // the handler keeps the application alive
        EXPECT_EQ(VelkorCefApp::LiveInstances(), apps + 1);
        VadiZov::cef_runtime::ClearExtensions();
    }
    EXPECT_EQ(VelkorCefApp::LiveInstances(), apps);
    EXPECT_EQ(OurClientAppExtensionHandler::LiveInstances(), handlers);
}

TEST(VelkorCefApp, RefusedRegistrationFreesTheHandler)
{
    const int handlers = OurClientAppExtensionHandler::LiveInstances();
    Capture cap;
    CefRefPtr<VelkorCefApp> app = new VelkorCefApp();
    app->OnBeforeCommandLineProcessing("renderer", commandLine({"Velkor.ui"}));
    VadiZov::cef_runtime::InjectedFaults().refuseExtensions = true;
    testing::internal::CaptureStdout();
    VadiZov::cef_runtime::RunWebKitInitialized(app.get());
    const std::string out = testing::internal::GetCapturedStdout();
    VadiZov::cef_runtime::InjectedFaults().refuseExtensions = false;
    EXPECT_EQ(out, "CEF|Error|JS registration failed");
    EXPECT_TRUE(VadiZov::cef_runtime::Extensions().empty());
    EXPECT_EQ(OurClientAppExtensionHandler::LiveInstances(), handlers);
    EXPECT_EQ(app->GetRefCt(), 1);
}

TEST(OurClientAppExtensionHandler, ExecuteInProcess)
{
    Capture cap;
    CefRefPtr<VelkorCefApp> app = new VelkorCefApp();
    CefRefPtr<OurClientAppExtensionHandler> handler = new OurClientAppExtensionHandler(app.get());
    CefRefPtr<CefBrowser> browser = VadiZov::cef_runtime::CreateBrowser(7);
    CefRefPtr<CefV8Value> retval;
    CefString exception;
    {
        VadiZov::cef_runtime::ScopedCurrentContext scope(VadiZov::cef_runtime::CreateContext(browser));
        CefV8ValueList args{CefV8Value::CreateString("print(1)")};
        EXPECT_TRUE(handler->Execute("sendSLua", nullptr, args, retval, exception));
        EXPECT_TRUE(exception.empty());
        EXPECT_EQ(retval.get(), nullptr);  // never set
        CefV8ValueList two{CefV8Value::CreateString("a"), CefV8Value::CreateString("b")};
        EXPECT_FALSE(handler->Execute("sendSLua", nullptr, two, retval, exception));
        EXPECT_EQ(exception.ToString(), "Invalid method");
        EXPECT_EQ(retval.get(), nullptr);
    }
    ASSERT_EQ(cap.lines.size(), 1u);
    EXPECT_EQ(cap.lines[0], "{\"event\":\"send\",\"browser\":7,\"target\":\"browser\","
                            "\"name\":\"sendSLua\",\"args\":[\"print(1)\"],\"result\":true}");
    // SendToParent stores strings and 32-bit integers and skips everything else.
    cap.lines.clear();
    {
        VadiZov::cef_runtime::ScopedCurrentContext scope(VadiZov::cef_runtime::CreateContext(browser));
        CefV8ValueList mixed{CefV8Value::CreateInt(-5),       CefV8Value::CreateBool(true),
                             CefV8Value::CreateString("s"),    CefV8Value::CreateDouble(1.5),
                             CefV8Value::CreateUInt(3000000000u), CefV8Value::CreateNull()};
        CefString ex;
        EXPECT_TRUE(handler->SendToParent("repoCommand", mixed, ex));
    }
    ASSERT_EQ(cap.lines.size(), 1u);
    EXPECT_EQ(cap.lines[0], "{\"event\":\"send\",\"browser\":7,\"target\":\"browser\","
                            "\"name\":\"repoCommand\",\"args\":[-5,null,\"s\"],\"result\":true}");
    EXPECT_EQ(app->GetRefCt(), 2);
    handler = nullptr;
    EXPECT_EQ(app->GetRefCt(), 1);
}
