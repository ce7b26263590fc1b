// V8 values, contexts, handlers and extensions.
#pragma once

#include <cstdint>
#include <vector>

#include "cef/cef_base.h"
#include "cef/cef_string.h"

class CefBrowser;
class CefFrame;
class CefV8Value;

typedef std::vector<CefRefPtr<CefV8Value>> CefV8ValueList;

class CefV8Accessor : public virtual CefBase {};
class CefV8Exception : public virtual CefBase {};
class CefV8StackTrace : public virtual CefBase {};

// Serves native functions: returns true when it handled the call; a non-empty `exception`
// then makes the call throw it, else `retval` (when set) is the call's value.
class CefV8Handler : public virtual CefBase {
public:
    virtual bool Execute(const CefString& name, CefRefPtr<CefV8Value> object,
                         const CefV8ValueList& arguments, CefRefPtr<CefV8Value>& retval,
                         CefString& exception) = 0;
};

class CefV8Context : public virtual CefBase {
public:
    // The context of the JavaScript that is running; null outside JavaScript.
    static CefRefPtr<CefV8Context> GetCurrentContext();
    static CefRefPtr<CefV8Context> GetEnteredContext();
    static bool InContext();

    virtual bool IsValid() = 0;
    // The browser of the context; null when the context belongs to no browser.
    virtual CefRefPtr<CefBrowser> GetBrowser() = 0;
    virtual CefRefPtr<CefFrame> GetFrame() = 0;
    virtual CefRefPtr<CefV8Value> GetGlobal() = 0;
    virtual bool Enter() = 0;
    virtual bool Exit() = 0;
    virtual bool IsSame(CefRefPtr<CefV8Context> that) = 0;
};

class CefV8Value : public virtual CefBase {
public:
    static CefRefPtr<CefV8Value> CreateUndefined();
    static CefRefPtr<CefV8Value> CreateNull();
    static CefRefPtr<CefV8Value> CreateBool(bool value);
    static CefRefPtr<CefV8Value> CreateInt(int32_t value);
    static CefRefPtr<CefV8Value> CreateUInt(uint32_t value);
    static CefRefPtr<CefV8Value> CreateDouble(double value);
    static CefRefPtr<CefV8Value> CreateString(const CefString& value);
    static CefRefPtr<CefV8Value> CreateObject(CefRefPtr<CefV8Accessor> accessor);
    static CefRefPtr<CefV8Value> CreateArray(int length);
    static CefRefPtr<CefV8Value> CreateFunction(const CefString& name,
                                                CefRefPtr<CefV8Handler> handler);

    virtual bool IsValid() = 0;
    virtual bool IsUndefined() = 0;
    virtual bool IsNull() = 0;
    virtual bool IsBool() = 0;
    virtual bool IsInt() = 0;   // a number held as a 32-bit signed integer
    virtual bool IsUInt() = 0;  // a number held as a 32-bit unsigned integer
    virtual bool IsDouble() = 0;
    virtual bool IsString() = 0;
    virtual bool IsObject() = 0;
    virtual bool IsArray() = 0;
    virtual bool IsFunction() = 0;
    virtual bool IsSame(CefRefPtr<CefV8Value> that) = 0;
    virtual bool GetBoolValue() = 0;
    virtual int32_t GetIntValue() = 0;
    virtual uint32_t GetUIntValue() = 0;
    virtual double GetDoubleValue() = 0;
    virtual CefString GetStringValue() = 0;
};

// Registers a V8 extension: its JavaScript runs in every page of the render process, and its
// "native function" declarations are served by `handler`. Only while the render process
// reports WebKit initialised; false when refused (e.g. a name registered already).
bool CefRegisterExtension(const CefString& extension_name, const CefString& javascript_code,
                          CefRefPtr<CefV8Handler> handler);
