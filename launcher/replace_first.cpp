#include "launcher/replace_first.h"

namespace VadiZov {

bool replaceFirst(std::string& target, const std::string& find, const std::string& replacement)
{
    const size_t at = target.find(find);
    if (at == std::string::npos)
        return false;
    target.replace(at, find.size(), replacement);
    return true;
}

} // namespace VadiZov
