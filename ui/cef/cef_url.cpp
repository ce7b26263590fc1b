#include "cef/cef_url.h"

#include <string>

namespace {

// Schemes that Chromium parses with an authority (host required).
bool IsStandardScheme(const std::string& scheme)
{
    static const char* const kStandard[] = {"http",  "https", "ws",    "wss",
                                            "ftp",   "local", "chrome", "chrome-devtools"};
    for (const char* s : kStandard)
        if (scheme == s)
            return true;
    return false;
}

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

bool CefParseURL(const CefString& url, CefURLParts& parts)
{
    std::string in = url.ToString();
    // Like Chromium: leading and trailing control characters and blanks are trimmed, and tabs
    // and line breaks inside are dropped.
    size_t first = 0, last = in.size();
    while (first < last && static_cast<unsigned char>(in[first]) <= 0x20)
        ++first;
    while (last > first && static_cast<unsigned char>(in[last - 1]) <= 0x20)
        --last;
    std::string s;
    for (size_t i = first; i < last; ++i)
        if (in[i] != '\t' && in[i] != '\r' && in[i] != '\n')
            s.push_back(in[i]);

    size_t colon = s.find(':');
    if (colon == std::string::npos || colon == 0 || !IsAlpha(s[0]))
        return false;
    std::string scheme;
    for (size_t i = 0; i < colon; ++i) {
        char c = s[i];
        if (!(IsAlpha(c) || IsDigit(c) || c == '+' || c == '-' || c == '.'))
            return false;
        scheme.push_back(c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c);
    }
    std::string rest = s.substr(colon + 1);
    std::string username, password, host, port, path, query;
    if (IsStandardScheme(scheme)) {
        size_t p = 0;
        while (p < rest.size() && (rest[p] == '/' || rest[p] == '\\'))
            ++p;
        size_t end = rest.find_first_of("/\\?#", p);
        std::string authority = rest.substr(p, end == std::string::npos ? std::string::npos : end - p);
        std::string tail = end == std::string::npos ? std::string() : rest.substr(end);
        size_t at = authority.rfind('@');
        if (at != std::string::npos) {
            std::string user = authority.substr(0, at);
            size_t c = user.find(':');
            username = user.substr(0, c);
            if (c != std::string::npos)
                password = user.substr(c + 1);
            authority = authority.substr(at + 1);
        }
        size_t pc = authority.rfind(':');
        if (pc != std::string::npos && authority.find(']', pc) == std::string::npos) {
            port = authority.substr(pc + 1);
            authority = authority.substr(0, pc);
            for (char c : port)
                if (!IsDigit(c))
                    return false;
        }
        host = authority;
        if (host.empty())
            return false;
        for (char& c : host)
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
        size_t hash = tail.find('#');
        if (hash != std::string::npos)
            tail = tail.substr(0, hash);
        size_t q = tail.find('?');
        path = tail.substr(0, q);
        if (q != std::string::npos)
            query = tail.substr(q + 1);
        if (path.empty())
            path = "/";
    } else {
        size_t hash = rest.find('#');
        std::string body = rest.substr(0, hash);
        size_t q = body.find('?');
        path = body.substr(0, q);
        if (q != std::string::npos)
            query = body.substr(q + 1);
    }
    parts.spec = CefString(scheme + s.substr(colon));
    parts.scheme = CefString(scheme);
    parts.username = CefString(username);
    parts.password = CefString(password);
    parts.host = CefString(host);
    parts.port = CefString(port);
    parts.origin = IsStandardScheme(scheme)
                       ? CefString(scheme + "://" + host + (port.empty() ? "" : ":" + port) + "/")
                       : CefString();
    parts.path = CefString(path);
    parts.query = CefString(query);
    return true;
}
