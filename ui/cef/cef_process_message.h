// CefProcessMessage: a named message with an argument list, sent between processes.
#pragma once

#include "cef/cef_values.h"

typedef enum {
    PID_BROWSER,
    PID_RENDERER,
} cef_process_id_t;
typedef cef_process_id_t CefProcessId;

class CefProcessMessage : public virtual CefBase {
public:
    static CefRefPtr<CefProcessMessage> Create(const CefString& name);

    virtual bool IsValid() = 0;
    virtual bool IsReadOnly() = 0;
    virtual CefRefPtr<CefProcessMessage> Copy() = 0;
    virtual CefString GetName() = 0;
    virtual CefRefPtr<CefListValue> GetArgumentList() = 0;
};
