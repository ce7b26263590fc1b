// The calling thread's last error as text for the user.
#pragma once

#include <string>

namespace VadiZov::platform {

// The system's text for the last error; "No error message has been recorded" when there is none.
std::string getLastErrorMessage();

} // namespace VadiZov::platform
