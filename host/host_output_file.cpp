#include "host/host_output_file.h"

#include <cerrno>

#include "platform/last_error.h"
#include "platform/output_file.h"
#include "platform/path_below.h"

namespace VadiZov::host {

OutputFile::~OutputFile()
{
    if (file_)
        std::fclose(file_);
}

bool OutputFile::open(const std::string& path, std::string* error)
{
    path_ = path;
    error_ = 0;
    file_ = platform::openOutputFile(path);
    if (!file_) {
        *error = "cannot write " + path + ": it " + platform::refusalText(platform::getLastError());
        return false;
    }
    return true;
}

bool OutputFile::write(const void* data, size_t size)
{
    if (!file_ || error_ != 0)
        return false;
    errno = 0;
    if (size != 0 && std::fwrite(data, 1, size, file_) != size)
        error_ = errno != 0 ? errno : EIO;
    return error_ == 0;
}

bool OutputFile::close(std::string* error)
{
    if (!file_) {
        *error = "cannot write " + path_ + ": it was never opened";
        return false;
    }
    if (error_ == 0 && std::ferror(file_))
        error_ = EIO;
    errno = 0;
    if (std::fclose(file_) != 0 && error_ == 0)
        error_ = errno != 0 ? errno : EIO;
    file_ = nullptr;
    if (error_ == 0)
        return true;
    *error = "cannot write " + path_ + ": " + platform::errorText(error_);
    return false;
}

} // namespace VadiZov::host
