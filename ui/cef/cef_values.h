// CefListValue: an indexed list of typed values (the arguments of a process message).
#pragma once

#include "cef/cef_base.h"
#include "cef/cef_string.h"

typedef enum {
    VTYPE_INVALID = 0,
    VTYPE_NULL,
    VTYPE_BOOL,
    VTYPE_INT,
    VTYPE_DOUBLE,
    VTYPE_STRING,
    VTYPE_BINARY,
    VTYPE_DICTIONARY,
    VTYPE_LIST,
} cef_value_type_t;
typedef cef_value_type_t CefValueType;

class CefListValue : public virtual CefBase {
public:
    static CefRefPtr<CefListValue> Create();

    virtual bool IsValid() = 0;
    virtual bool IsOwned() = 0;
    virtual bool IsReadOnly() = 0;
    virtual CefRefPtr<CefListValue> Copy() = 0;
    virtual bool SetSize(size_t size) = 0;
    virtual size_t GetSize() = 0;
    virtual bool Clear() = 0;
    virtual bool Remove(size_t index) = 0;
    // VTYPE_INVALID for an index past the end.
    virtual CefValueType GetType(size_t index) = 0;
    virtual bool GetBool(size_t index) = 0;
    virtual int GetInt(size_t index) = 0;
    virtual double GetDouble(size_t index) = 0;
    virtual CefString GetString(size_t index) = 0;
    // Setters grow the list as needed (new places hold null); false when read-only.
    virtual bool SetNull(size_t index) = 0;
    virtual bool SetBool(size_t index, bool value) = 0;
    virtual bool SetInt(size_t index, int value) = 0;
    virtual bool SetDouble(size_t index, double value) = 0;
    virtual bool SetString(size_t index, const CefString& value) = 0;
};
