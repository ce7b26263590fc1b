#include "platform/critical_section.h"

#include "platform/event.h"

namespace VadiZov::platform {

void CriticalSection::enter()
{
    const unsigned rounds = spinRounds() > 0 ? spinCount_ : 0;
    for (unsigned i = 0; i < rounds; ++i) {
        if (mutex_.try_lock())
            return;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    mutex_.lock();
}

} // namespace VadiZov::platform
