#include "launcher/failure_box.h"

#include "platform/message_box.h"

namespace VadiZov {

const std::string supportMessage =
    "\n\nPlease make sure that the game is installed correctly.\n"
    "If the problem persists, please contact our support at:\n"
    "https://support.rovanta.example/";

int reportFailure(const std::string& text, int exitCode)
{
    const std::string message = text + supportMessage;
    platform::messageBox(kFailureCaption, message.c_str(), platform::BoxKind::Warning);
    return exitCode;
}

} // namespace VadiZov
