// CefString: a UTF-16 string, as CEF's is, with conversions from and to UTF-8.
#pragma once

#include <string>

class CefString {
public:
    CefString() = default;
    CefString(const char* utf8) { if (utf8) FromString(std::string(utf8)); }
    CefString(const std::string& utf8) { FromString(utf8); }
    CefString(const char16_t* utf16) : str_(utf16 ? utf16 : u"") {}
    CefString(const std::u16string& utf16) : str_(utf16) {}

    // UTF-8 in: invalid sequences become U+FFFD; false when any was replaced.
    bool FromString(const std::string& utf8);
    void FromString16(const std::u16string& utf16) { str_ = utf16; }
    // UTF-8 out: unpaired surrogates become U+FFFD.
    std::string ToString() const;
    std::u16string ToString16() const { return str_; }

    const char16_t* c_str() const { return str_.c_str(); }
    size_t length() const { return str_.length(); }
    size_t size() const { return str_.size(); }
    bool empty() const { return str_.empty(); }
    void clear() { str_.clear(); }
    int compare(const CefString& other) const { return str_.compare(other.str_); }

    friend bool operator==(const CefString& a, const CefString& b) { return a.str_ == b.str_; }
    friend bool operator!=(const CefString& a, const CefString& b) { return a.str_ != b.str_; }
    friend bool operator<(const CefString& a, const CefString& b) { return a.str_ < b.str_; }

private:
    std::u16string str_;
};

// The conversions themselves, also used by the runtime.
std::u16string CefUTF8ToUTF16(const std::string& utf8, bool* allValid = nullptr);
std::string CefUTF16ToUTF8(const std::u16string& utf16);
