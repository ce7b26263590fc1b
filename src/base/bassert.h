// Debug-only checks of the library's own invariants (indices a builder already validated, slot
// counts). A failure is a bug in the library, not bad input: bad input gets a clear error
// where it enters. Release builds (NDEBUG) compile the checks out without evaluating them.
#pragma once

namespace VadiZov {

[[noreturn]] void assertionFailed(const char* condition, const char* whatToFix, const char* file, int line);

} // namespace VadiZov

#ifdef NDEBUG
#define VELKOR_ASSERT(cond, whatToFix) ((void)sizeof(!(cond)))
#else
#define VELKOR_ASSERT(cond, whatToFix) \
    ((cond) ? (void)0 : ::VadiZov::assertionFailed(#cond, whatToFix, __FILE__, __LINE__))
#endif
