// Loading a shared library at run time and binding its exported functions.
#pragma once

#include <string>

namespace VadiZov::platform {

class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Path with a '/' is loaded as it is; a bare name is searched on the library path.
    // globalSymbols makes the library's symbols available to libraries loaded later (also when
    // it is already loaded as a dependency of someone else).
    bool load(const std::string& path, bool globalSymbols = false);
    void* symbol(const char* name) const;
    bool loaded() const { return handle_ != nullptr; }
    // The loader's text for the last failure.
    const std::string& errorText() const { return error_; }

private:
    void* handle_ = nullptr;
    std::string error_;
};

} // namespace VadiZov::platform
