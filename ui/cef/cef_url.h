// CefParseURL: splits a URL into its parts. Only a valid URL fills the parts; the scheme is
// lower-cased, as Chromium's URL parser does.
#pragma once

#include "cef/cef_string.h"

struct CefURLParts {
    CefString spec;
    CefString scheme;
    CefString username;
    CefString password;
    CefString host;
    CefString port;
    CefString origin;
    CefString path;
    CefString query;
};

bool CefParseURL(const CefString& url, CefURLParts& parts);
