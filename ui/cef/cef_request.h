// CefRequest: the request of a navigation.
#pragma once

#include "cef/cef_base.h"
#include "cef/cef_string.h"

class CefRequest : public virtual CefBase {
public:
    static CefRefPtr<CefRequest> Create();

    virtual bool IsReadOnly() = 0;
    virtual CefString GetURL() = 0;
    virtual void SetURL(const CefString& url) = 0;
    virtual CefString GetMethod() = 0;
    virtual void SetMethod(const CefString& method) = 0;
};
