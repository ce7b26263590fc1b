// The runtime: CefExecuteProcess, the render process's page, and the command server.
//
// Report events (members in this order):
//   {"event":"process","type":T}
//   {"event":"callback","name":N[,"process_type":T][,"result":"none"|"handler"]}
//   {"event":"command-line","changed":B}          after OnBeforeCommandLineProcessing
//   {"event":"scheme","name":S,"standard":B,"local":B,"display_isolated":B,"result":B}
//   {"event":"extension","name":S,"code":S,"length":N,"result":B}   length in UTF-16 units
//   {"event":"call","name":S,"context":"browser"|"no-browser"|"none","declared":B,
//    "result":B,"exception":S,"retval_set":B,"page":"undefined"|"throws"|"value"}
//       "page" is what the calling script gets by CEF's rule: a true result with an exception
//       throws it, a true result with a return value returns it, anything else is undefined.
//   {"event":"send","browser":N,"target":"browser"|"renderer","name":S,"args":[...],"result":B}
//   {"event":"execute-js","browser":N,"frame":"main","code":S,"script_url":S,"start_line":N}
//   {"event":"message","name":S,"result":B}        after the program's handling of a message
//   {"event":"navigation","url":S,"redirect":B,"cancel":B}
//   {"event":"error","text":S}                     a command the runtime could not understand
//   {"event":"exit","code":N,"caller_refs":N}      caller_refs: references to the application
//                                                  besides the runtime's own argument
#include "cef/cef_runtime.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

#include "cef/cef_values_impl.h"

namespace VadiZov::cef_runtime {

namespace {

struct State {
    ReportSink sink;
    FILE* reportFile = nullptr;
    bool reportFileOpened = false;
    Faults faults;
    bool extensionsOpen = false;  // only during OnWebKitInitialized
    std::vector<Extension> extensions;
    std::vector<CefRefPtr<CefV8Context>> contexts;  // the current context is the last
};

State& S()
{
    static State* state = new State();  // lives to the very end of the process
    return *state;
}

const char* Bool(bool b) { return b ? "true" : "false"; }

std::string ArgsJson(CefRefPtr<CefListValue> list)
{
    std::string out = "[";
    size_t n = list ? list->GetSize() : 0;
    for (size_t i = 0; i < n; ++i) {
        if (i)
            out += ",";
        switch (list->GetType(i)) {
        case VTYPE_NULL: out += "null"; break;
        case VTYPE_BOOL: out += Bool(list->GetBool(i)); break;
        case VTYPE_INT: out += std::to_string(list->GetInt(i)); break;
        case VTYPE_DOUBLE: {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.17g", list->GetDouble(i));
            std::string d = buf;
            if (d.find_first_of(".eEn") == std::string::npos)
                d += ".0";
            out += d;
            break;
        }
        case VTYPE_STRING: out += JsonQuote(list->GetString(i)); break;
        default: out += "\"<unsupported>\""; break;
        }
    }
    return out + "]";
}

// ---- V8 values and contexts -------------------------------------------------------------

class V8ValueImpl : public CefV8Value {
public:
    enum Kind { kUndefined, kNull, kBool, kInt, kUInt, kDouble, kString, kObject, kArray, kFunction };
    explicit V8ValueImpl(Kind kind) : kind_(kind) {}

    bool IsValid() override { return true; }
    bool IsUndefined() override { return kind_ == kUndefined; }
    bool IsNull() override { return kind_ == kNull; }
    bool IsBool() override { return kind_ == kBool; }
    bool IsInt() override { return kind_ == kInt; }
    bool IsUInt() override { return kind_ == kUInt || (kind_ == kInt && i_ >= 0); }
    bool IsDouble() override { return kind_ == kInt || kind_ == kUInt || kind_ == kDouble; }
    bool IsString() override { return kind_ == kString; }
    bool IsObject() override { return kind_ == kObject || kind_ == kArray || kind_ == kFunction; }
    bool IsArray() override { return kind_ == kArray; }
    bool IsFunction() override { return kind_ == kFunction; }
    bool IsSame(CefRefPtr<CefV8Value> that) override { return that.get() == this; }
    bool GetBoolValue() override { return kind_ == kBool && b_; }
    int32_t GetIntValue() override
    {
        if (kind_ == kInt)
            return i_;
        if (kind_ == kUInt)
            return int32_t(u_);
        return kind_ == kDouble ? int32_t(d_) : 0;
    }
    uint32_t GetUIntValue() override
    {
        if (kind_ == kUInt)
            return u_;
        if (kind_ == kInt)
            return uint32_t(i_);
        return kind_ == kDouble ? uint32_t(d_) : 0;
    }
    double GetDoubleValue() override
    {
        if (kind_ == kInt)
            return i_;
        if (kind_ == kUInt)
            return u_;
        return kind_ == kDouble ? d_ : 0.0;
    }
    CefString GetStringValue() override { return kind_ == kString ? s_ : CefString(); }

    Kind kind_;
    bool b_ = false;
    int32_t i_ = 0;
    uint32_t u_ = 0;
    double d_ = 0.0;
    CefString s_;
    CefRefPtr<CefV8Handler> handler_;

    IMPLEMENT_REFCOUNTING(V8ValueImpl)
};

class V8ContextImpl : public CefV8Context {
public:
    explicit V8ContextImpl(CefRefPtr<CefBrowser> browser)
        : browser_(browser), global_(CefV8Value::CreateObject(nullptr))
    {
    }
    bool IsValid() override { return true; }
    CefRefPtr<CefBrowser> GetBrowser() override { return browser_; }
    CefRefPtr<CefFrame> GetFrame() override
    {
        return browser_ ? browser_->GetMainFrame() : CefRefPtr<CefFrame>();
    }
    CefRefPtr<CefV8Value> GetGlobal() override { return global_; }
    bool Enter() override
    {
        S().contexts.push_back(this);
        return true;
    }
    bool Exit() override
    {
        if (S().contexts.empty() || S().contexts.back().get() != this)
            return false;
        S().contexts.pop_back();
        return true;
    }
    bool IsSame(CefRefPtr<CefV8Context> that) override { return that.get() == this; }

private:
    CefRefPtr<CefBrowser> browser_;
    CefRefPtr<CefV8Value> global_;

    IMPLEMENT_REFCOUNTING(V8ContextImpl)
};

// ---- browser, frame, message, request, registrar ----------------------------------------

class BrowserImpl;

class FrameImpl : public CefFrame {
public:
    explicit FrameImpl(BrowserImpl* browser) : browser_(browser) {}
    void Detach() { browser_ = nullptr; }

    bool IsValid() override { return browser_ != nullptr; }
    bool IsMain() override { return true; }
    int64_t GetIdentifier() override { return 1; }
    CefString GetURL() override { return CefString("local://local/ui/index.html"); }
    CefRefPtr<CefBrowser> GetBrowser() override;
    void ExecuteJavaScript(const CefString& code, const CefString& script_url,
                           int start_line) override;

private:
    BrowserImpl* browser_;  // the browser owns the frame

    IMPLEMENT_REFCOUNTING(FrameImpl)
};

class BrowserImpl : public CefBrowser {
public:
    explicit BrowserImpl(int id) : id_(id), frame_(new FrameImpl(this)) {}
    ~BrowserImpl() override { frame_->Detach(); }

    int GetIdentifier() override { return id_; }
    bool IsSame(CefRefPtr<CefBrowser> that) override { return that.get() == this; }
    CefRefPtr<CefFrame> GetMainFrame() override { return frame_.get(); }
    bool SendProcessMessage(CefProcessId target, CefRefPtr<CefProcessMessage> message) override
    {
        // From a renderer, messages can only go to the browser process.
        bool ok = message && message->IsValid() && target == PID_BROWSER &&
                  !S().faults.sendFails;
        Report(std::string("{\"event\":\"send\",\"browser\":") + std::to_string(id_) +
               ",\"target\":\"" + (target == PID_BROWSER ? "browser" : "renderer") +
               "\",\"name\":" + JsonQuote(message ? message->GetName() : CefString()) +
               ",\"args\":" + ArgsJson(message ? message->GetArgumentList() : nullptr) +
               ",\"result\":" + Bool(ok) + "}");
        return ok;
    }

private:
    int id_;
    CefRefPtr<FrameImpl> frame_;

    IMPLEMENT_REFCOUNTING(BrowserImpl)
};

CefRefPtr<CefBrowser> FrameImpl::GetBrowser() { return browser_; }

void FrameImpl::ExecuteJavaScript(const CefString& code, const CefString& script_url,
                                  int start_line)
{
    Report(std::string("{\"event\":\"execute-js\",\"browser\":") +
           std::to_string(browser_ ? browser_->GetIdentifier() : 0) +
           ",\"frame\":\"main\",\"code\":" + JsonQuote(code) +
           ",\"script_url\":" + JsonQuote(script_url) +
           ",\"start_line\":" + std::to_string(start_line) + "}");
}

class ProcessMessageImpl : public CefProcessMessage {
public:
    ProcessMessageImpl(const CefString& name, CefRefPtr<ListValueImpl> args)
        : name_(name), args_(args)
    {
    }
    bool IsValid() override { return true; }
    bool IsReadOnly() override { return args_->IsReadOnly(); }
    CefRefPtr<CefProcessMessage> Copy() override
    {
        CefRefPtr<ListValueImpl> list = new ListValueImpl();
        for (size_t i = 0; i < args_->GetSize(); ++i)
            CopyItem(args_, i, list);
        return new ProcessMessageImpl(name_, list);
    }
    CefString GetName() override { return name_; }
    CefRefPtr<CefListValue> GetArgumentList() override { return args_.get(); }

    static void CopyItem(CefRefPtr<CefListValue> from, size_t i, CefRefPtr<CefListValue> to)
    {
        switch (from->GetType(i)) {
        case VTYPE_BOOL: to->SetBool(i, from->GetBool(i)); break;
        case VTYPE_INT: to->SetInt(i, from->GetInt(i)); break;
        case VTYPE_DOUBLE: to->SetDouble(i, from->GetDouble(i)); break;
        case VTYPE_STRING: to->SetString(i, from->GetString(i)); break;
        default: to->SetNull(i); break;
        }
    }

private:
    CefString name_;
    CefRefPtr<ListValueImpl> args_;

    IMPLEMENT_REFCOUNTING(ProcessMessageImpl)
};

class RequestImpl : public CefRequest {
public:
    bool IsReadOnly() override { return false; }
    CefString GetURL() override { return url_; }
    void SetURL(const CefString& url) override { url_ = url; }
    CefString GetMethod() override { return method_; }
    void SetMethod(const CefString& method) override { method_ = method; }

private:
    CefString url_;
    CefString method_ = CefString("GET");

    IMPLEMENT_REFCOUNTING(RequestImpl)
};

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

// ---- the command server -------------------------------------------------------------------

struct Token {
    bool quoted = false;
    std::string word;     // unquoted token
    std::u16string text;  // quoted token, decoded
};

// Splits a command line into tokens; false with `error` set on a malformed string.
bool Tokenize(const std::string& line, std::vector<Token>& out, std::string& error)
{
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
            continue;
        }
        Token t;
        if (line[i] != '"') {
            size_t end = line.find_first_of(" \t", i);
            t.word = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
            i = end == std::string::npos ? line.size() : end;
            out.push_back(t);
            continue;
        }
        t.quoted = true;
        std::string raw;  // UTF-8 run not yet converted
        auto flush = [&] {
            t.text += CefUTF8ToUTF16(raw);
            raw.clear();
        };
        ++i;
        bool closed = false;
        while (i < line.size()) {
            char c = line[i++];
            if (c == '"') {
                closed = true;
                break;
            }
            if (c != '\\') {
                raw.push_back(c);
                continue;
            }
            if (i >= line.size())
                break;
            char e = line[i++];
            switch (e) {
            case '"': raw.push_back('"'); break;
            case '\\': raw.push_back('\\'); break;
            case '/': raw.push_back('/'); break;
            case 'b': raw.push_back('\b'); break;
            case 'f': raw.push_back('\f'); break;
            case 'n': raw.push_back('\n'); break;
            case 'r': raw.push_back('\r'); break;
            case 't': raw.push_back('\t'); break;
            case 'u': {
                if (i + 4 > line.size()) {
                    error = "bad \\u escape";
                    return false;
                }
                char* endp = nullptr;
                std::string hex = line.substr(i, 4);
                unsigned long unit = std::strtoul(hex.c_str(), &endp, 16);
                if (!endp || *endp) {
                    error = "bad \\u escape";
                    return false;
                }
                flush();
                t.text.push_back(char16_t(unit));  // one UTF-16 unit, as JSON has it
                i += 4;
                break;
            }
            default: error = "bad escape"; return false;
            }
        }
        if (!closed) {
            error = "unterminated string";
            return false;
        }
        flush();
        out.push_back(t);
    }
    return true;
}

bool ParseNumber(const std::string& word, double* value)
{
    if (word.empty())
        return false;
    char* end = nullptr;
    *value = std::strtod(word.c_str(), &end);
    return end && *end == '\0';
}

bool MakeV8Value(const Token& t, CefRefPtr<CefV8Value>& out)
{
    if (t.quoted) {
        out = CefV8Value::CreateString(CefString(t.text));
        return true;
    }
    const std::string& w = t.word;
    if (w == "true" || w == "false")
        out = CefV8Value::CreateBool(w == "true");
    else if (w == "null")
        out = CefV8Value::CreateNull();
    else if (w == "undefined")
        out = CefV8Value::CreateUndefined();
    else if (w == "{}")
        out = CefV8Value::CreateObject(nullptr);
    else if (w == "[]")
        out = CefV8Value::CreateArray(0);
    else if (w == "function")
        out = CefV8Value::CreateFunction(CefString("f"), nullptr);
    else {
        double d = 0.0;
        if (!ParseNumber(w, &d))
            return false;
        // As V8 keeps numbers: int32 when integral and in range (not -0), else uint32, else double.
        bool integral = std::isfinite(d) && std::trunc(d) == d;
        if (integral && d >= -2147483648.0 && d <= 2147483647.0 && !(d == 0.0 && std::signbit(d)))
            out = CefV8Value::CreateInt(int32_t(d));
        else if (integral && d >= 0.0 && d <= 4294967295.0)
            out = CefV8Value::CreateUInt(uint32_t(d));
        else
            out = CefV8Value::CreateDouble(d);
    }
    return true;
}

bool SetListValue(const Token& t, size_t index, CefRefPtr<CefListValue> list)
{
    if (t.quoted)
        return list->SetString(index, CefString(t.text));
    const std::string& w = t.word;
    if (w == "true" || w == "false")
        return list->SetBool(index, w == "true");
    if (w == "null")
        return list->SetNull(index);
    double d = 0.0;
    if (!ParseNumber(w, &d))
        return false;
    if (w.find_first_of(".eEnN") != std::string::npos || d < -2147483648.0 || d > 2147483647.0)
        return list->SetDouble(index, d);
    return list->SetInt(index, int(d));
}

void ReportError(const std::string& text)
{
    Report("{\"event\":\"error\",\"text\":" + JsonQuote(CefString(text)) + "}");
}

CefString NameOf(const Token& t) { return t.quoted ? CefString(t.text) : CefString(t.word); }

void DoCall(const std::string& kind, const std::vector<Token>& tokens,
            CefRefPtr<CefBrowser> browser)
{
    if (tokens.size() < 2) {
        ReportError("call without a function name");
        return;
    }
    CefString name = NameOf(tokens[1]);
    CefV8ValueList args;
    for (size_t i = 2; i < tokens.size(); ++i) {
        CefRefPtr<CefV8Value> v;
        if (!MakeV8Value(tokens[i], v)) {
            ReportError("bad argument: " + tokens[i].word);
            return;
        }
        args.push_back(v);
    }
    // The extension whose script declares the native function serves it; a name that none
    // declares goes to the first extension with a handler (as a test of the handler's rules).
    std::string declaration = "native function " + name.ToString() + "(";
    CefRefPtr<CefV8Handler> handler;
    bool declared = false;
    for (const Extension& e : S().extensions) {
        if (e.handler && e.code.ToString().find(declaration) != std::string::npos) {
            handler = e.handler;
            declared = true;
            break;
        }
    }
    for (const Extension& e : S().extensions) {
        if (!handler && e.handler)
            handler = e.handler;
    }
    if (!handler) {
        ReportError("no extension handler for " + name.ToString());
        return;
    }
    CefRefPtr<CefV8Context> context;
    std::string contextName = "none";
    if (kind == "call") {
        context = CreateContext(browser);
        contextName = "browser";
    } else if (kind == "call-nobrowser") {
        context = CreateContext(nullptr);
        contextName = "no-browser";
    }
    CefRefPtr<CefV8Value> retval;
    CefString exception;
    bool result;
    {
        ScopedCurrentContext scope(context);
        CefRefPtr<CefV8Value> object =
            context ? context->GetGlobal() : CefV8Value::CreateUndefined();
        result = handler->Execute(name, object, args, retval, exception);
    }
    const char* page = "undefined";
    if (result && !exception.empty())
        page = "throws";
    else if (result && retval)
        page = "value";
    Report("{\"event\":\"call\",\"name\":" + JsonQuote(name) + ",\"context\":\"" + contextName +
           "\",\"declared\":" + Bool(declared) + ",\"result\":" + Bool(result) +
           ",\"exception\":" + JsonQuote(exception) + ",\"retval_set\":" + Bool(retval != nullptr) +
           ",\"page\":\"" + page + "\"}");
}

void DoMessage(const std::vector<Token>& tokens, CefRefPtr<CefRenderProcessHandler> handler,
               CefRefPtr<CefBrowser> browser)
{
    if (tokens.size() < 2) {
        ReportError("message without a name");
        return;
    }
    CefRefPtr<CefListValue> list = CefListValue::Create();
    for (size_t i = 2; i < tokens.size(); ++i) {
        if (!SetListValue(tokens[i], i - 2, list)) {
            ReportError("bad message argument: " + tokens[i].word);
            return;
        }
    }
    CefString name = NameOf(tokens[1]);
    bool result = handler->OnProcessMessageReceived(browser, PID_BROWSER,
                                                    CreateIncomingMessage(name, list));
    Report("{\"event\":\"message\",\"name\":" + JsonQuote(name) + ",\"result\":" + Bool(result) +
           "}");
}

void DoNavigate(const std::vector<Token>& tokens, CefRefPtr<CefRenderProcessHandler> handler,
                CefRefPtr<CefBrowser> browser)
{
    if (tokens.size() < 2 || !tokens[1].quoted) {
        ReportError("navigate needs a URL string");
        return;
    }
    bool redirect = tokens.size() > 2 && tokens[2].word == "redirect";
    CefRefPtr<CefRequest> request = CefRequest::Create();
    request->SetURL(CefString(tokens[1].text));
    bool cancel = handler->OnBeforeNavigation(browser, browser->GetMainFrame(), request,
                                              CefRenderProcessHandler::NAVIGATION_LINK_CLICKED,
                                              redirect);
    Report("{\"event\":\"navigation\",\"url\":" + JsonQuote(CefString(tokens[1].text)) +
           ",\"redirect\":" + Bool(redirect) + ",\"cancel\":" + Bool(cancel) + "}");
}

void ReportCallback(const std::string& name, const std::string& extra = std::string())
{
    Report("{\"event\":\"callback\",\"name\":\"" + name + "\"" + extra + "}");
}

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

// ---- public runtime functions -------------------------------------------------------------

void SetReportSink(ReportSink sink) { S().sink = std::move(sink); }

void Report(const std::string& line)
{
    State& s = S();
    if (s.sink) {
        s.sink(line);
        return;
    }
    if (!s.reportFileOpened) {
        s.reportFileOpened = true;
        const char* path = std::getenv("VELKOR_CEF_REPORT");
        if (path && *path)
            s.reportFile = std::fopen(path, "a");
    }
    FILE* f = s.reportFile ? s.reportFile : stderr;
    std::fputs(line.c_str(), f);
    std::fputc('\n', f);
    std::fflush(f);
}

std::string JsonQuote(const CefString& s)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char16_t c : s.ToString16()) {
        switch (c) {
        case u'"': out += "\\\""; break;
        case u'\\': out += "\\\\"; break;
        case u'\n': out += "\\n"; break;
        case u'\r': out += "\\r"; break;
        case u'\t': out += "\\t"; break;
        case u'\b': out += "\\b"; break;
        case u'\f': out += "\\f"; break;
        default:
            if (c >= 0x20 && c < 0x7F) {
                out.push_back(char(c));
            } else {
                out += "\\u";
                out.push_back(kHex[(c >> 12) & 15]);
                out.push_back(kHex[(c >> 8) & 15]);
                out.push_back(kHex[(c >> 4) & 15]);
                out.push_back(kHex[c & 15]);
            }
        }
    }
    return out + "\"";
}

Faults& InjectedFaults() { return S().faults; }

bool SetFault(const std::string& name, bool on)
{
    Faults& f = S().faults;
    if (name == "refuse-extensions")
        f.refuseExtensions = on;
    else if (name == "list-set-fails")
        f.listSetFails = on;
    else if (name == "send-fails")
        f.sendFails = on;
    else
        return false;
    return true;
}

CefRefPtr<CefBrowser> CreateBrowser(int id) { return new BrowserImpl(id); }

CefRefPtr<CefV8Context> CreateContext(CefRefPtr<CefBrowser> browser)
{
    return new V8ContextImpl(browser);
}

CefRefPtr<CefProcessMessage> CreateIncomingMessage(const CefString& name,
                                                   CefRefPtr<CefListValue> arguments)
{
    CefRefPtr<ListValueImpl> list = new ListValueImpl();
    for (size_t i = 0; arguments && i < arguments->GetSize(); ++i)
        ProcessMessageImpl::CopyItem(arguments, i, list.get());
    list->SetReadOnly(true);  // a received message cannot be changed
    return new ProcessMessageImpl(name, list);
}

ScopedCurrentContext::ScopedCurrentContext(CefRefPtr<CefV8Context> context)
{
    S().contexts.push_back(context);
}

ScopedCurrentContext::~ScopedCurrentContext() { S().contexts.pop_back(); }

void RunWebKitInitialized(CefRefPtr<CefRenderProcessHandler> handler)
{
    ReportCallback("OnWebKitInitialized");
    S().extensionsOpen = true;
    handler->OnWebKitInitialized();
    S().extensionsOpen = false;
}

const std::vector<Extension>& Extensions() { return S().extensions; }

void ClearExtensions()
{
    std::vector<Extension> gone;
    gone.swap(S().extensions);  // released when `gone` ends
}

void ServeCommands(std::istream& in, CefRefPtr<CefRenderProcessHandler> handler,
                   CefRefPtr<CefBrowser> browser)
{
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<Token> tokens;
        std::string error;
        if (!Tokenize(line, tokens, error)) {
            ReportError(error + ": " + line);
            continue;
        }
        if (tokens.empty() || (!tokens[0].quoted && tokens[0].word[0] == '#'))
            continue;
        const std::string& command = tokens[0].word;
        if (command == "call" || command == "call-nobrowser" || command == "call-nocontext") {
            DoCall(command, tokens, browser);
        } else if (command == "message") {
            DoMessage(tokens, handler, browser);
        } else if (command == "navigate") {
            DoNavigate(tokens, handler, browser);
        } else if (command == "inject" && tokens.size() == 3) {
            if (!SetFault(tokens[1].word, tokens[2].word == "on"))
                ReportError("unknown fault: " + tokens[1].word);
        } else if (command == "exit-now" && tokens.size() == 2) {
            _exit(std::atoi(tokens[1].word.c_str()));
        } else {
            ReportError("unknown command: " + line);
        }
    }
}

} // namespace VadiZov::cef_runtime

// ---- CEF's static functions -------------------------------------------------------------------

using namespace VadiZov::cef_runtime;

CefRefPtr<CefV8Context> CefV8Context::GetCurrentContext()
{
    return S().contexts.empty() ? CefRefPtr<CefV8Context>() : S().contexts.back();
}

CefRefPtr<CefV8Context> CefV8Context::GetEnteredContext() { return GetCurrentContext(); }

bool CefV8Context::InContext() { return GetCurrentContext() != nullptr; }

namespace {
CefRefPtr<CefV8Value> MakeValue(V8ValueImpl* v) { return v; }
} // namespace

CefRefPtr<CefV8Value> CefV8Value::CreateUndefined()
{
    return MakeValue(new V8ValueImpl(V8ValueImpl::kUndefined));
}
CefRefPtr<CefV8Value> CefV8Value::CreateNull() { return MakeValue(new V8ValueImpl(V8ValueImpl::kNull)); }
CefRefPtr<CefV8Value> CefV8Value::CreateBool(bool value)
{
    auto* v = new V8ValueImpl(V8ValueImpl::kBool);
    v->b_ = value;
    return MakeValue(v);
}
CefRefPtr<CefV8Value> CefV8Value::CreateInt(int32_t value)
{
    auto* v = new V8ValueImpl(V8ValueImpl::kInt);
    v->i_ = value;
    return MakeValue(v);
}
CefRefPtr<CefV8Value> CefV8Value::CreateUInt(uint32_t value)
{
    auto* v = new V8ValueImpl(V8ValueImpl::kUInt);
    v->u_ = value;
    return MakeValue(v);
}
CefRefPtr<CefV8Value> CefV8Value::CreateDouble(double value)
{
    auto* v = new V8ValueImpl(V8ValueImpl::kDouble);
    v->d_ = value;
    return MakeValue(v);
}
CefRefPtr<CefV8Value> CefV8Value::CreateString(const CefString& value)
{
    auto* v = new V8ValueImpl(V8ValueImpl::kString);
    v->s_ = value;
    return MakeValue(v);
}
CefRefPtr<CefV8Value> CefV8Value::CreateObject(CefRefPtr<CefV8Accessor> /*accessor*/)
{
    return MakeValue(new V8ValueImpl(V8ValueImpl::kObject));
}
CefRefPtr<CefV8Value> CefV8Value::CreateArray(int /*length*/)
{
    return MakeValue(new V8ValueImpl(V8ValueImpl::kArray));
}
CefRefPtr<CefV8Value> CefV8Value::CreateFunction(const CefString& /*name*/,
                                                 CefRefPtr<CefV8Handler> handler)
{
    auto* v = new V8ValueImpl(V8ValueImpl::kFunction);
    v->handler_ = handler;
    return MakeValue(v);
}

CefRefPtr<CefProcessMessage> CefProcessMessage::Create(const CefString& name)
{
    CefRefPtr<ListValueImpl> list = new ListValueImpl();
    list->SetFaultable(true);
    return new ProcessMessageImpl(name, list);
}

CefRefPtr<CefRequest> CefRequest::Create() { return new RequestImpl(); }

bool CefRegisterExtension(const CefString& extension_name, const CefString& javascript_code,
                          CefRefPtr<CefV8Handler> handler)
{
    State& s = S();
    bool ok = s.extensionsOpen && !s.faults.refuseExtensions && !extension_name.empty();
    for (const Extension& e : s.extensions)
        if (e.name == extension_name)
            ok = false;
    if (ok)
        s.extensions.push_back(Extension{extension_name, javascript_code, handler});
    Report("{\"event\":\"extension\",\"name\":" + JsonQuote(extension_name) +
           ",\"code\":" + JsonQuote(javascript_code) +
           ",\"length\":" + std::to_string(javascript_code.length()) + ",\"result\":" +
           (ok ? "true" : "false") + "}");
    return ok;
}

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
