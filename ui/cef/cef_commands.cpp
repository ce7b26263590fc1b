// The command server: reads the command script (see cef_runtime.h) and plays each command
// against the program's handlers.
#include "cef/cef_runtime_state.h"

#include <cmath>
#include <cstdlib>
#include <unistd.h>

namespace VadiZov::cef_runtime {

namespace {

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

} // namespace

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
