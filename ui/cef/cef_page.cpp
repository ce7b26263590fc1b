// The page the runtime plays: V8 values and contexts, the browser and its frame, process
// messages, requests and the registered extensions, with CEF's static functions for them.
#include "cef/cef_runtime_state.h"

#include "cef/cef_values_impl.h"

namespace VadiZov::cef_runtime {

namespace {

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

} // namespace

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

} // namespace VadiZov::cef_runtime

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
