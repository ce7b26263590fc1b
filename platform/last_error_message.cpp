#include "platform/last_error_message.h"

#include "platform/last_error.h"

namespace VadiZov::platform {

std::string getLastErrorMessage()
{
    const int code = getLastError();
    if (code == 0)
        return "No error message has been recorded";
    return errorText(code);
}

} // namespace VadiZov::platform
