// Lua's string patterns, matched by the library instead of the runtime: matching a pattern is a
// loop in native code (a few "-" items over a long text take longer than any script should),
// where the time budget's hook never fires. This matcher counts its steps and stops with the
// budget's error once the running call is out of time. It follows the runtime's semantics and
// messages (classes are ASCII and independent of the locale).
#pragma once

#include <cstddef>
#include <cstdint>

#include <luajit-2.1/lua.hpp>

namespace VadiZov {

class LuaStateGuard;

class PatternMatcher {
public:
    PatternMatcher(lua_State* L, const char* subject, size_t length);

    // The end of a match of pattern (zero-terminated) at s, or null. Captures are reset first.
    const char* matchAt(const char* s, const char* pattern);

    // Pushes the captures of the last match (the whole match s..e when it has none and
    // wholeWhenNone); returns how many.
    int pushCaptures(const char* s, const char* e, bool wholeWhenNone);
    // Pushes capture i (0 stands for the whole match s..e when there are no captures).
    void pushCapture(int i, const char* s, const char* e);
    int captureCount() const { return level_; }

    const char* begin() const { return begin_; }
    const char* end() const { return end_; }

    // Counts work done outside the matcher's own loops (a plain search) against the budget.
    void step(uint32_t cost);

private:
    static constexpr int kMaxCaptures = 32;
    static constexpr int kMaxDepth = 200;
    static constexpr ptrdiff_t kUnfinished = -1;
    static constexpr ptrdiff_t kPosition = -2;

    const char* match(const char* s, const char* p);
    const char* matchItem(const char* s, const char* p, const char* itemEnd);
    const char* classEnd(const char* p);
    uint32_t setCost(const char* from, const char* to);
    uint32_t itemCost(const char* p, const char* itemEnd);
    const char* matchBalance(const char* s, const char* p);
    const char* maxExpand(const char* s, const char* p, const char* itemEnd);
    const char* minExpand(const char* s, const char* p, const char* itemEnd);
    const char* startCapture(const char* s, const char* p, ptrdiff_t what);
    const char* endCapture(const char* s, const char* p);
    const char* matchCapture(const char* s, int index);
    int captureToClose();
    int checkCapture(int index);

    lua_State* L_;
    LuaStateGuard* guard_;
    const char* begin_;
    const char* end_;
    int level_ = 0;
    int depth_ = 0;
    uint32_t steps_ = 0;
    struct {
        const char* init;
        ptrdiff_t length;
    } captures_[kMaxCaptures];
};

// True when the pattern holds a character that makes it more than a plain text.
bool hasPatternSpecials(const char* pattern, size_t length);

// The first place of needle in text[0..textLength), or null; counted against the budget.
const char* findPlain(PatternMatcher& matcher, const char* text, size_t textLength, const char* needle,
                      size_t needleLength);

} // namespace VadiZov
