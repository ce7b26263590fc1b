// Our own CEF-shaped layer (CEF itself is not installable here). The names and signatures are
// those this program uses; nothing is copied from CEF. Objects are reference-counted: every
// interface derives virtually from CefBase, and CefRefPtr holds one counted reference.
#pragma once

#include <atomic>
#include <cstddef>
#include <utility>

class CefBase {
public:
    virtual int AddRef() = 0;    // returns the new count
    virtual int Release() = 0;   // returns the new count; the object deletes itself at 0
    virtual int GetRefCt() = 0;  // the current count

protected:
    virtual ~CefBase() {}
};

// A counted reference. Taking a raw pointer adds a reference; destruction releases it.
template <class T>
class CefRefPtr {
public:
    CefRefPtr() : ptr_(nullptr) {}
    CefRefPtr(std::nullptr_t) : ptr_(nullptr) {}
    CefRefPtr(T* p) : ptr_(p)
    {
        if (ptr_)
            ptr_->AddRef();
    }
    CefRefPtr(const CefRefPtr<T>& r) : CefRefPtr(r.ptr_) {}
    CefRefPtr(CefRefPtr<T>&& r) noexcept : ptr_(r.ptr_) { r.ptr_ = nullptr; }
    template <typename U>
    CefRefPtr(const CefRefPtr<U>& r) : CefRefPtr(r.get())
    {
    }
    ~CefRefPtr()
    {
        if (ptr_)
            ptr_->Release();
    }

    CefRefPtr<T>& operator=(T* p)
    {
        if (p)
            p->AddRef();
        T* old = ptr_;
        ptr_ = p;
        if (old)
            old->Release();
        return *this;
    }
    CefRefPtr<T>& operator=(const CefRefPtr<T>& r) { return *this = r.ptr_; }
    CefRefPtr<T>& operator=(CefRefPtr<T>&& r) noexcept
    {
        if (this != &r) {
            T* old = ptr_;
            ptr_ = r.ptr_;
            r.ptr_ = nullptr;
            if (old)
                old->Release();
        }
        return *this;
    }
    template <typename U>
    CefRefPtr<T>& operator=(const CefRefPtr<U>& r)
    {
        return *this = r.get();
    }

    T* get() const { return ptr_; }
    operator T*() const { return ptr_; }
    T* operator->() const { return ptr_; }
    T& operator*() const { return *ptr_; }

private:
    T* ptr_;
};

// Reference counting for the layer's own implementation classes (the program's classes count
// by hand, as the program does).
#define IMPLEMENT_REFCOUNTING(ClassName)                                                       \
public:                                                                                        \
    int AddRef() override { return refct_.fetch_add(1) + 1; }                                  \
    int Release() override                                                                     \
    {                                                                                          \
        int count = refct_.fetch_sub(1) - 1;                                                   \
        if (count == 0)                                                                        \
            delete this;                                                                       \
        return count;                                                                          \
    }                                                                                          \
    int GetRefCt() override { return refct_.load(); }                                          \
                                                                                               \
private:                                                                                       \
    std::atomic<int> refct_{0};
