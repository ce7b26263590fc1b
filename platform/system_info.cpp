#include "platform/system_info.h"

#include <string_view>
#include <sys/utsname.h>

#include "platform/last_error.h"

namespace VadiZov::platform {

bool operatingSystemIs64Bit()
{
    struct utsname name;
    if (uname(&name) != 0) {
        setLastErrorFromErrno();
        return false;
    }
    const std::string_view machine = name.machine;
    // x86_64, aarch64, ppc64(le), riscv64, mips64, sparc64, loongarch64 ...; s390x is the odd one.
    return machine.find("64") != std::string_view::npos || machine == "s390x";
}

} // namespace VadiZov::platform
