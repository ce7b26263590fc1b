#include "platform/system_info.h"

#include <sched.h>
#include <string_view>
#include <sys/utsname.h>
#include <thread>

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

int usableCoreCount()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    const unsigned all = std::thread::hardware_concurrency();
    return all > 0 ? int(all) : 1;
}

} // namespace VadiZov::platform
