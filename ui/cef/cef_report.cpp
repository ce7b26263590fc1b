// The runtime's report channel and injected faults.
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

#include "cef/cef_runtime_state.h"

#include <cstdio>
#include <cstdlib>

namespace VadiZov::cef_runtime {

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

void ReportError(const std::string& text)
{
    Report("{\"event\":\"error\",\"text\":" + JsonQuote(CefString(text)) + "}");
}

void ReportCallback(const std::string& name, const std::string& extra)
{
    Report("{\"event\":\"callback\",\"name\":\"" + name + "\"" + extra + "}");
}

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

} // namespace VadiZov::cef_runtime
