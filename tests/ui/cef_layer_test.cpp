// The CEF-shaped layer itself: strings, counted references, command line, URL parsing, lists.
#include <gtest/gtest.h>

#include "cef/cef_app.h"
#include "cef/cef_runtime.h"
#include "cef/cef_url.h"

TEST(CefString, ConvertsBetweenUtf8AndUtf16)
{
    CefString ascii("en-US");
    EXPECT_EQ(ascii.ToString16(), u"en-US");
    EXPECT_EQ(ascii.ToString(), "en-US");
    CefString wide(std::string("d\xC3\xA9j\xC3\xA0 \xE2\x80\xA8 \xF0\x9F\x98\x80"));  // é à U+2028 😀
    EXPECT_EQ(wide.ToString16(), u"d\u00e9j\u00e0 \u2028 \U0001F600");
    EXPECT_EQ(wide.length(), 9u);  // the emoji is a surrogate pair
    EXPECT_EQ(wide.ToString(), "d\xC3\xA9j\xC3\xA0 \xE2\x80\xA8 \xF0\x9F\x98\x80");
    CefString bad(std::string("a\xFF" "b\xC0\xAF"));  // invalid byte, overlong '/'
    EXPECT_EQ(bad.ToString16(), u"a\uFFFDb\uFFFD\uFFFD");
    CefString lone(std::u16string(1, char16_t(0xD800)));
    EXPECT_EQ(lone.ToString(), "\xEF\xBF\xBD");
    EXPECT_TRUE(CefString("x") == CefString(u"x"));
    EXPECT_TRUE(CefString() .empty());
}

namespace {
class Counted : public virtual CefBase {
public:
    explicit Counted(int* alive) : alive_(alive) { ++*alive_; }
    ~Counted() override { --*alive_; }

private:
    int* alive_;
    IMPLEMENT_REFCOUNTING(Counted)
};
} // namespace

TEST(CefRefPtr, CountsAndReleasesAtZero)
{
    int alive = 0;
    {
        CefRefPtr<Counted> a = new Counted(&alive);
        EXPECT_EQ(a->GetRefCt(), 1);
        {
            CefRefPtr<CefBase> b = a;
            EXPECT_EQ(a->GetRefCt(), 2);
            CefRefPtr<Counted> c = std::move(a);
            EXPECT_EQ(c->GetRefCt(), 2);
            EXPECT_EQ(a.get(), nullptr);
            a = c;
            EXPECT_EQ(c->GetRefCt(), 3);
        }
        EXPECT_EQ(a->GetRefCt(), 1);
        EXPECT_EQ(alive, 1);
    }
    EXPECT_EQ(alive, 0);
}

TEST(CefCommandLine, ParsesChromiumSwitches)
{
    const char* argv[] = {"Velkor.ui", "--type=renderer", "--lang=de-DE", "-single",
                          "--empty=",  "plain",           "--",           "--not-a-switch"};
    CefRefPtr<CefCommandLine> cl = CefCommandLine::CreateCommandLine();
    cl->InitFromArgv(8, argv);
    CefCommandLine::SwitchMap switches;
    cl->GetSwitches(switches);
    EXPECT_EQ(switches.size(), 4u);
    EXPECT_EQ(cl->GetSwitchValue("type").ToString(), "renderer");
    EXPECT_EQ(cl->GetSwitchValue("lang").ToString(), "de-DE");
    EXPECT_TRUE(cl->HasSwitch("single"));
    EXPECT_TRUE(cl->HasSwitch("empty"));
    EXPECT_FALSE(cl->HasSwitch("LANG"));  // names keep their case
    CefCommandLine::ArgumentList args;
    cl->GetArguments(args);
    ASSERT_EQ(args.size(), 2u);
    EXPECT_EQ(args[1].ToString(), "--not-a-switch");
    EXPECT_EQ(cl->GetProgram().ToString(), "Velkor.ui");
}

TEST(CefParseURL, GivesTheLowerCaseSchemeOfValidUrlsOnly)
{
    struct Case {
        const char* url;
        bool valid;
        const char* scheme;
    } cases[] = {
        {"http-external://www.velkor.example/a?b", true, "http-external"},
        {"local://local/ui/index.html", true, "local"},
        {"LOCAL://local/x", true, "local"},
        {"chrome-devtools://devtools/inspector.html", true, "chrome-devtools"},
        {"https://www.velkor.example/", true, "https"},
        {"about:blank", true, "about"},
        {"data:text/html,<p>x</p>", true, "data"},
        {"  http://host/ ", true, "http"},
        {"http://", false, ""},
        {"no scheme here", false, ""},
        {"", false, ""},
        {"1http://x/", false, ""},
    };
    for (const Case& c : cases) {
        CefURLParts parts;
        EXPECT_EQ(CefParseURL(CefString(c.url), parts), c.valid) << c.url;
        EXPECT_EQ(parts.scheme.ToString(), c.scheme) << c.url;
    }
    CefURLParts parts;
    ASSERT_TRUE(CefParseURL(CefString("http://user:pw@Repo.Example:8080/p/q?x=1#f"), parts));
    EXPECT_EQ(parts.host.ToString(), "repo.example");
    EXPECT_EQ(parts.port.ToString(), "8080");
    EXPECT_EQ(parts.path.ToString(), "/p/q");
    EXPECT_EQ(parts.query.ToString(), "x=1");
    EXPECT_EQ(parts.username.ToString(), "user");
}

TEST(CefListValue, GrowsWithNullsAndReportsTypes)
{
    CefRefPtr<CefListValue> list = CefListValue::Create();
    EXPECT_TRUE(list->SetString(2, "x"));
    EXPECT_EQ(list->GetSize(), 3u);
    EXPECT_EQ(list->GetType(0), VTYPE_NULL);
    EXPECT_EQ(list->GetType(2), VTYPE_STRING);
    EXPECT_EQ(list->GetType(3), VTYPE_INVALID);
    EXPECT_TRUE(list->SetInt(0, -7));
    EXPECT_EQ(list->GetInt(0), -7);
    EXPECT_EQ(list->GetString(2).ToString(), "x");

    CefRefPtr<CefProcessMessage> incoming = VadiZov::cef_runtime::CreateIncomingMessage("m", list);
    EXPECT_TRUE(incoming->IsReadOnly());
    EXPECT_FALSE(incoming->GetArgumentList()->SetInt(0, 1));
    EXPECT_EQ(incoming->GetArgumentList()->GetSize(), 3u);
}

TEST(CefRuntime, JsonQuoteEscapesEverythingOutsidePrintableAscii)
{
    EXPECT_EQ(VadiZov::cef_runtime::JsonQuote(CefString("a\"b\\c\n")), "\"a\\\"b\\\\c\\n\"");
    EXPECT_EQ(VadiZov::cef_runtime::JsonQuote(CefString(u"\u00e9\u2028\x01")), "\"\\u00e9\\u2028\\u0001\"");
}

TEST(CefRuntime, NoBrowserProcessWork)
{
    // Without --type CefExecuteProcess returns -1 at once and calls nothing.
    char prog[] = "Velkor.ui";
    char arg[] = "--lang=de-DE";
    char* argv[] = {prog, arg, nullptr};
    std::vector<std::string> lines;
    VadiZov::cef_runtime::SetReportSink([&](const std::string& l) { lines.push_back(l); });
    EXPECT_EQ(CefExecuteProcess(CefMainArgs(2, argv), nullptr, nullptr), -1);
    VadiZov::cef_runtime::SetReportSink(nullptr);
    EXPECT_TRUE(lines.empty());
}
