// Velkor.ui run as a process: the runtime plays the browser process and a page, the program's
// doings come back on the report channel, its diagnostics on standard output, its information
// box on standard error, and external links through a recording opener.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include "cef/cef_runtime.h"
#include "extension_script.h"
#include "test_support.h"

extern char** environ;

namespace {

struct UiRun {
    int exitCode = -1;
    std::string out, err;
    std::vector<std::string> report;
    std::vector<std::string> opened;  // filled by openedUrls()
    std::string openerLog;

    std::vector<std::string> events(const std::string& name) const
    {
        std::vector<std::string> found;
        for (const std::string& l : report)
            if (l.find("{\"event\":\"" + name + "\"") == 0)
                found.push_back(l);
        return found;
    }
};

// Runs Velkor.ui with `args` (after the program name), feeding `input` on standard input.
UiRun runUi(const ui_test::TempDir& dir, const std::vector<std::string>& args,
          const std::string& input = std::string(),
          const std::vector<std::string>& extraEnv = {})
{
    UiRun run;
    const std::string in = dir.file("stdin"), out = dir.file("stdout"), err = dir.file("stderr");
    const std::string report = dir.file("report");
    run.openerLog = dir.file("opened");
    std::remove(report.c_str());
    std::remove(run.openerLog.c_str());
    {
        FILE* f = std::fopen(in.c_str(), "wb");
        std::fwrite(input.data(), 1, input.size(), f);
        std::fclose(f);
    }
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string kv = *e;
        if (kv.rfind("VELKOR_", 0) != 0)
            env.push_back(kv);
    }
    env.push_back("VELKOR_CEF_REPORT=" + report);
    env.push_back(std::string("VELKOR_URL_OPENER=") + UI_TEST_OPENER);
    env.push_back("VELKOR_TEST_OPENER_LOG=" + run.openerLog);
    for (const std::string& e : extraEnv)
        env.push_back(e);

    std::vector<std::string> argv{VELKOR_UI_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv, cenv;
    for (std::string& a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);
    for (std::string& e : env)
        cenv.push_back(e.data());
    cenv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), cenv.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(rc, 0) << std::strerror(rc);
    if (rc != 0)
        return run;
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ui_test::readFile(out);
    run.err = ui_test::readFile(err);
    run.report = ui_test::readLines(report);
    return run;
}

std::string q(const std::string& s) { return VadiZov::cef_runtime::JsonQuote(CefString(s)); }

std::string extensionLine(const std::string& code)
{
    return "{\"event\":\"extension\",\"name\":\"v8/velkor\",\"code\":" + q(code) +
           ",\"length\":" + std::to_string(CefString(code).length()) + ",\"result\":true}";
}

std::string sendLine(const std::string& name, const std::string& argsJson, bool result = true)
{
    return "{\"event\":\"send\",\"browser\":1,\"target\":\"browser\",\"name\":" + q(name) +
           ",\"args\":" + argsJson + ",\"result\":" + (result ? "true" : "false") + "}";
}

std::string callLine(const std::string& name, const std::string& context, bool declared,
                     bool result, const std::string& exception)
{
    return "{\"event\":\"call\",\"name\":" + q(name) + ",\"context\":\"" + context +
           "\",\"declared\":" + (declared ? "true" : "false") +
           ",\"result\":" + (result ? "true" : "false") + ",\"exception\":" + q(exception) +
           ",\"retval_set\":false,\"page\":\"undefined\"}";
}

} // namespace

TEST(UiProcess, EmptyCommandLineShowsTheInformationBoxAndExitsZero)
{
    ui_test::TempDir dir;
    UiRun r = runUi(dir, {});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err,
              "[information] Velkor.ui: Chromium Embedded Framework Wrapper\n"
              "This program is a helper utility for Rovanta to render the User Interface.\n"
              "You should not run this manually.\n");
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.report.empty());  // nothing of CEF was touched
}

TEST(UiProcess, ArgumentsWithoutTypeReturnMinusOne)
{
    ui_test::TempDir dir;
    for (std::vector<std::string> args : {std::vector<std::string>{"--no-such-switch"},
                                          std::vector<std::string>{"plain"},
                                          std::vector<std::string>{""},
                                          std::vector<std::string>{"--type=", "--lang=de"}}) {
        UiRun r = runUi(dir, args);
        EXPECT_EQ(r.exitCode, 255) << args[0];  // -1 as an exit status
        EXPECT_EQ(r.err, "");                   // no box
        EXPECT_TRUE(r.report.empty());
    }
}

TEST(UiProcess, OtherProcessTypesRegisterTheSchemeAndReturn)
{
    ui_test::TempDir dir;
    for (const char* type : {"gpu-process", "utility", "zygote", "ppapi"}) {
        UiRun r = runUi(dir, {std::string("--type=") + type, "--lang=de-DE"});
        EXPECT_EQ(r.exitCode, 0);
        std::vector<std::string> expected = {
            "{\"event\":\"process\",\"type\":" + q(type) + "}",
            "{\"event\":\"callback\",\"name\":\"OnBeforeCommandLineProcessing\","
            "\"process_type\":" + q(type) + "}",
            "{\"event\":\"command-line\",\"changed\":false}",
            "{\"event\":\"callback\",\"name\":\"GetResourceBundleHandler\",\"result\":\"none\"}",
            "{\"event\":\"callback\",\"name\":\"OnRegisterCustomSchemes\"}",
            "{\"event\":\"scheme\",\"name\":\"local\",\"standard\":true,\"local\":false,"
            "\"display_isolated\":false,\"result\":true}",
            "{\"event\":\"exit\",\"code\":0,\"caller_refs\":1}",
        };
        EXPECT_EQ(r.report, expected) << type;
        EXPECT_EQ(r.out, "");
    }
}

TEST(UiProcess, RendererMakesTheCallbacksInOrder)
{
    ui_test::TempDir dir;
    UiRun r = runUi(dir, {"--type=renderer"});
    EXPECT_EQ(r.exitCode, 0);
    std::vector<std::string> names;
    for (const std::string& l : r.report) {
        size_t e = l.find("\"event\":\"") + 9;
        std::string event = l.substr(e, l.find('"', e) - e);
        if (event == "callback") {
            size_t n = l.find("\"name\":\"") + 8;
            event.append(":").append(l.substr(n, l.find('"', n) - n));
        }
        names.push_back(event);
    }
    std::vector<std::string> expected = {
        "process", "callback:OnBeforeCommandLineProcessing", "command-line",
        "callback:GetResourceBundleHandler", "callback:OnRegisterCustomSchemes", "scheme",
        "callback:GetRenderProcessHandler", "callback:OnRenderThreadCreated",
        "callback:OnWebKitInitialized", "extension", "callback:OnBrowserCreated",
        "callback:OnContextCreated", "callback:OnBrowserDestroyed", "exit"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(r.report.back(), "{\"event\":\"exit\",\"code\":0,\"caller_refs\":1}");
}

TEST(UiProcess, ExtensionScriptForEnUsOtherAndEmptyLanguage)
{
    ui_test::TempDir dir;
    const std::string fixed = ui_test::kFixedScript;
    struct Case {
        std::vector<std::string> args;
        std::string code;
    } cases[] = {
        {{"--type=renderer"}, fixed + "velkor.language=\"en-US\";})();"},
        {{"--type=renderer", "--lang=en-US"}, fixed + "velkor.language=\"en-US\";})();"},
        {{"--type=renderer", "--lang=de-DE"}, fixed + "velkor.language=\"de-DE\";})();"},
        {{"--type=renderer", "--lang="}, fixed + "})();"},
        {{"--type=renderer", "--lang"}, fixed + "})();"},
        {{"--type=renderer", "--lang=a\"b"}, fixed + "velkor.language=\"a\\\"b\";})();"},
    };
    for (const Case& c : cases) {
        UiRun r = runUi(dir, c.args);
        auto ext = r.events("extension");
        ASSERT_EQ(ext.size(), 1u) << c.args.back();
        EXPECT_EQ(ext[0], extensionLine(c.code)) << c.args.back();
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(fixed.size() + std::string("velkor.language=\"en-US\";})();").size(), 806u);
    EXPECT_NE(runUi(dir, {"--type=renderer"}).events("extension")[0].find("\"length\":806,"),
              std::string::npos);
    EXPECT_NE(runUi(dir, {"--type=renderer", "--lang="}).events("extension")[0].find(
                  "\"length\":782,"),
              std::string::npos);
}

TEST(UiProcess, NativeFunctionsWithValidArguments)
{
    ui_test::TempDir dir;
    UiRun r = runUi(dir, {"--type=renderer"},
                  "call sendGE \"ui.ready()\"\n"
                  "call sendOLua \"obj:queue(\\\"x\\\")\"\n"
                  "call sendSLua \"print('\\u00e9')\"\n"
                  "call sendELua \"\"\n"
                  "call getVerInfo\n"
                  "call getSteamInfo \"user\"\n"
                  "call getCEFContextNo\n");
    std::vector<std::string> sends = {
        sendLine("sendGE", "[\"ui.ready()\"]"),
        sendLine("sendOLua", "[\"obj:queue(\\\"x\\\")\"]"),
        sendLine("sendSLua", "[\"print('\\u00e9')\"]"),
        sendLine("sendELua", "[\"\"]"),
        sendLine("getVerInfo", "[]"),
        sendLine("getSteamInfo", "[\"user\"]"),
        sendLine("getCEFContextNo", "[]"),
    };
    EXPECT_EQ(r.events("send"), sends);
    auto calls = r.events("call");
    ASSERT_EQ(calls.size(), 7u);
    const char* names[] = {"sendGE",     "sendOLua",     "sendSLua",       "sendELua",
                           "getVerInfo", "getSteamInfo", "getCEFContextNo"};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(calls[i], callLine(names[i], "browser", true, true, "")) << names[i];
    EXPECT_EQ(r.out, "");
}

TEST(UiProcess, NativeFunctionsWithInvalidArgumentsSendNothing)
{
    ui_test::TempDir dir;
    UiRun r = runUi(dir, {"--type=renderer"},
                  "call sendGE 42\n"
                  "call sendGE undefined\n"
                  "call sendGE\n"
                  "call sendOLua \"a\" \"b\"\n"
                  "call sendSLua null\n"
                  "call sendELua {}\n"
                  "call getSteamInfo true\n"
                  "call getSteamInfo []\n"
                  "call getVerInfo 1\n"
                  "call getCEFContextNo \"x\"\n"
                  "call sendge \"x\"\n"
                  "call repoCommand \"x\" 1\n"
                  "call \"\"\n");
    EXPECT_TRUE(r.events("send").empty());
    std::vector<std::string> expected = {
        callLine("sendGE", "browser", true, false, "Invalid method"),
        callLine("sendGE", "browser", true, false, "Invalid method"),
        callLine("sendGE", "browser", true, false, "Invalid method"),
        callLine("sendOLua", "browser", true, false, "Invalid method"),
        callLine("sendSLua", "browser", true, false, "Invalid method"),
        callLine("sendELua", "browser", true, false, "Invalid method"),
        callLine("getSteamInfo", "browser", true, false, "Invalid method"),
        callLine("getSteamInfo", "browser", true, false, "Invalid method"),
        callLine("getVerInfo", "browser", true, false, "Invalid method"),
        callLine("getCEFContextNo", "browser", true, false, "Invalid method"),
        callLine("sendge", "browser", false, false, "Invalid method"),
        callLine("repoCommand", "browser", false, false, "Invalid method"),
        callLine("", "browser", false, false, "Invalid method"),
    };
    EXPECT_EQ(r.events("call"), expected);
    EXPECT_TRUE(r.events("error").empty());
}

TEST(UiProcess, NoBrowserAndNoContextCannotReachTheParent)
{
    ui_test::TempDir dir;
    UiRun r = runUi(dir, {"--type=renderer"},
                  "call-nobrowser sendGE \"x\"\n"
                  "call-nobrowser getVerInfo\n"
                  "call-nobrowser sendGE 1\n"
                  "call-nocontext sendSLua \"x\"\n"
                  "call-nocontext getCEFContextNo\n"
                  "call-nocontext getCEFContextNo 2\n");
    EXPECT_TRUE(r.events("send").empty());
    const std::string noParent = "Could not communicate with parent process";
    std::vector<std::string> expected = {
        callLine("sendGE", "no-browser", true, false, noParent),
        callLine("getVerInfo", "no-browser", true, false, noParent),
        callLine("sendGE", "no-browser", true, false, "Invalid method"),
        // A null context is treated like a context without a browser.
        callLine("sendSLua", "none", true, false, noParent),
        callLine("getCEFContextNo", "none", true, false, noParent),
        callLine("getCEFContextNo", "none", true, false, "Invalid method"),
    };
    EXPECT_EQ(r.events("call"), expected);
}

TEST(UiProcess, FailedArgumentStoreIsReportedAndTheMessageStillSent)
{
    ui_test::TempDir dir;
    UiRun r = runUi(dir, {"--type=renderer"},
                  "inject list-set-fails on\n"
                  "call sendGE \"lost\"\n"
                  "inject list-set-fails off\n"
                  "inject send-fails on\n"
                  "call sendGE \"kept\"\n");
    EXPECT_EQ(r.out, "CEF|Error|Message SetString failed");
    std::vector<std::string> sends = {sendLine("sendGE", "[]"),
                                      sendLine("sendGE", "[\"kept\"]", false)};
    EXPECT_EQ(r.events("send"), sends);
    std::vector<std::string> calls = {callLine("sendGE", "browser", true, true, ""),
                                      callLine("sendGE", "browser", true, false, "")};
    EXPECT_EQ(r.events("call"), calls);  // SendToParent returns what sending returned
}

TEST(UiProcess, RefusedRegistrationIsFlushedAtOnce)
{
    ui_test::TempDir dir;
    // exit-now ends the process with _exit: unflushed standard output would be lost.
    UiRun r = runUi(dir, {"--type=renderer"}, "call sendGE \"x\"\nexit-now 3\n",
                  {"VELKOR_CEF_INJECT=refuse-extensions"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "CEF|Error|JS registration failed");
    auto ext = r.events("extension");
    ASSERT_EQ(ext.size(), 1u);
    EXPECT_NE(ext[0].find("\"result\":false"), std::string::npos);
    EXPECT_TRUE(r.events("call").empty());  // the page has no extension
    EXPECT_EQ(r.events("error").size(), 1u);
}

TEST(UiProcess, SetStringFailureIsFlushedAtOnce)
{
    ui_test::TempDir dir;
    UiRun r = runUi(dir, {"--type=renderer"},
                  "inject list-set-fails on\ncall getSteamInfo \"x\"\nexit-now 4\n");
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_EQ(r.out, "CEF|Error|Message SetString failed");
}

TEST(UiProcess, ExecuteJsRunsOneStringInTheMainFrame)
{
    ui_test::TempDir dir;
    const std::string code = "ui.set(\"speed\", 42);\n// \\u00e9 \xC3\xA9";
    UiRun r = runUi(dir, {"--type=renderer"},
                  "message executeJS " + q(code) + "\n"
                  "message executeJS \"a()\" \"b()\"\n"
                  "message executeJS 7\n"
                  "message executeJS\n"
                  "message executeJS 1.5\n"
                  "message executeJS null\n"
                  "message executejs \"a()\"\n"
                  "message executeJS \"\"\n");
    std::vector<std::string> executed = {
        "{\"event\":\"execute-js\",\"browser\":1,\"frame\":\"main\",\"code\":" + q(code) +
            ",\"script_url\":\"velkor\",\"start_line\":1}",
        "{\"event\":\"execute-js\",\"browser\":1,\"frame\":\"main\",\"code\":\"\","
        "\"script_url\":\"velkor\",\"start_line\":1}",
    };
    EXPECT_EQ(r.events("execute-js"), executed);
    std::vector<std::string> results;
    for (const std::string& l : r.events("message"))
        results.push_back(l.substr(l.find("\"result\":")));
    std::vector<std::string> expected = {"\"result\":true}",  "\"result\":false}",
                                         "\"result\":false}", "\"result\":false}",
                                         "\"result\":false}", "\"result\":false}",
                                         "\"result\":false}", "\"result\":true}"};
    EXPECT_EQ(results, expected);
    EXPECT_TRUE(r.events("send").empty());
}

TEST(UiProcess, PingIsAnsweredByOnePong)
{
    ui_test::TempDir dir;
    UiRun r = runUi(dir, {"--type=renderer"},
                  "message ping\n"
                  "message ping \"with\" 1 true\n"
                  "message pong\n"
                  "message Ping\n"
                  "message getVerInfo\n");
    std::vector<std::string> sends = {sendLine("pong", "[]"), sendLine("pong", "[]")};
    EXPECT_EQ(r.events("send"), sends);
    std::vector<std::string> messages = {
        "{\"event\":\"message\",\"name\":\"ping\",\"result\":false}",
        "{\"event\":\"message\",\"name\":\"ping\",\"result\":false}",
        "{\"event\":\"message\",\"name\":\"pong\",\"result\":false}",
        "{\"event\":\"message\",\"name\":\"Ping\",\"result\":false}",
        "{\"event\":\"message\",\"name\":\"getVerInfo\",\"result\":false}",
    };
    EXPECT_EQ(r.events("message"), messages);
    // Each ping gets its pong before the next message is handled.
    ASSERT_GE(r.report.size(), 4u);
}

TEST(UiProcess, NavigationPolicy)
{
    ui_test::TempDir dir;
    struct Case {
        const char* url;
        bool cancel;
    } cases[] = {
        {"local://local/ui/index.html", false},
        {"LOCAL://local/ui/index.html", false},  // the parser lower-cases the scheme
        {"chrome-devtools://devtools/devtools.html", false},
        {"http://repo.velkor.example/", false},
        {"http://repo.velkor.example/mods?page=2", false},
        {"http://repo.velkor.example", true},  // the prefix ends in '/'
        {"http://www.velkor.example/", true},
        {"http://elsewhere.example/", true},
        {"https://repo.velkor.example/", true},
        {"https://www.velkor.example/", true},
        {"http-external://www.velkor.example/news?id=3#top", true},
        {"http-external://elsewhere.example/", true},
        {"http-external://repo.velkor.example/", true},
        {"HTTP-EXTERNAL://www.velkor.example/", true},
        {"about:blank", true},
        {"data:text/html,<b>x</b>", true},
        {"file:///etc/passwd", true},
        {"", true},
        {"h", true},
        {"not a url", true},
    };
    std::string script;
    for (const Case& c : cases)
        script += "navigate " + q(c.url) + "\n";
    UiRun r = runUi(dir, {"--type=renderer"}, script);
    auto navs = r.events("navigation");
    ASSERT_EQ(navs.size(), std::size(cases));
    for (size_t i = 0; i < navs.size(); ++i)
        EXPECT_EQ(navs[i], "{\"event\":\"navigation\",\"url\":" + q(cases[i].url) +
                               ",\"redirect\":false,\"cancel\":" +
                               (cases[i].cancel ? "true" : "false") + "}");
    auto opened = ui_test::waitForOpenerLines(r.openerLog, 1);
    std::vector<std::string> expected = {"1|http://www.velkor.example/news?id=3#top"};
    EXPECT_EQ(opened, expected);
}

TEST(UiProcess, EveryExternalHostOpensOnceAndShellTextStaysText)
{
    ui_test::TempDir dir;
    const std::string marker = dir.file("shell-ran");
    const std::string nasty = "http-external://wiki.velkor.example/a b;touch " + marker +
                              "&$(touch " + marker + ")`touch " + marker + "`'\"|*";
    UiRun r = runUi(dir, {"--type=renderer"},
                  "navigate \"http-external://www.velkor.example/\"\n"
                  "navigate \"http-external://forum.velkor.example/t/1\"\n"
                  "navigate \"http-external://store.velkor.example/item\" redirect\n"
                  "navigate " + q(nasty) + "\n");
    for (const std::string& l : r.events("navigation"))
        EXPECT_NE(l.find("\"cancel\":true"), std::string::npos) << l;
    auto opened = ui_test::waitForOpenerLines(r.openerLog, 4);
    std::vector<std::string> expected = {
        "1|http://www.velkor.example/",
        "1|http://forum.velkor.example/t/1",
        "1|http://store.velkor.example/item",
        "1|http" + nasty.substr(13) + "",
    };
    // The opener escapes '|' in what it records.
    std::string& last = expected.back();
    for (size_t p = 2; (p = last.find('|', p)) != std::string::npos; p += 2)
        last.insert(p, 1, '\\');
    // Openers run side by side: the order of their records is not fixed.
    std::sort(opened.begin(), opened.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(opened, expected);
    EXPECT_NE(access(marker.c_str(), F_OK), 0);
}

// The opener gets the URL as the parser read it: blanks around it trimmed, tabs and line breaks
// inside dropped, and a NUL escaped instead of cutting the URL short.
TEST(UiProcess, ExternalLinksReachTheOpenerNormalised)
{
    ui_test::TempDir dir;
    const struct {
        const char* command;  // the URL as the page wrote it, escaped for the command line
        const char* opened;
    } cases[] = {
        {"http-external://www.velkor.example/a\\tb\\r\\nc", "1|http://www.velkor.example/abc"},
        {"http-external://forum.velkor.example/x\\u0000y", "1|http://forum.velkor.example/x%00y"},
        {"http-external://wiki.velkor.example/end \\u0001 ", "1|http://wiki.velkor.example/end"},
        {"http-external://store.velkor.example/\\u001fz\\u007f", "1|http://store.velkor.example/%1Fz%7F"},
    };
    std::string script;
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        script += std::string("navigate \"") + c.command + "\"\n";
        expected.push_back(c.opened);
    }
    UiRun r = runUi(dir, {"--type=renderer"}, script);
    EXPECT_EQ(r.events("error").size(), 0u);
    auto opened = ui_test::waitForOpenerLines(r.openerLog, expected.size());
    std::sort(opened.begin(), opened.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(opened, expected);
}

TEST(UiProcess, UnknownCommandsAreReportedNotFatal)
{
    ui_test::TempDir dir;
    UiRun r = runUi(dir, {"--type=renderer"}, "# comment\n\nfrobnicate\ncall sendGE \"x\n");
    EXPECT_EQ(r.events("error").size(), 2u);
    EXPECT_EQ(r.exitCode, 0);
}
