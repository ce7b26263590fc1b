#include "launcher/module_directory.h"

#include "platform/process.h"

namespace VadiZov {

std::string directoryOfPath(const std::string& path)
{
    const size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? path : path.substr(0, separator);
}

std::string getModuleDirectory() { return directoryOfPath(platform::executablePath()); }

} // namespace VadiZov
