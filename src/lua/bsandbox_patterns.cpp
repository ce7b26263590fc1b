#include "lua/bsandbox_patterns.h"

#include <cstring>

#include "lua/blua_guard.h"

namespace VadiZov {

namespace {

constexpr char kEscape = '%';
// Steps between two looks at the clock: a look is one load, a step a character or so.
constexpr uint32_t kStepsPerCheck = 4096;
// Bytes compared or scanned by the C library's own loops per step.
constexpr size_t kBytesPerStep = 64;

unsigned char byte(const char* p) { return static_cast<unsigned char>(*p); }

bool isDigit(int c) { return c >= '0' && c <= '9'; }

// The classes of each byte (ASCII only, whatever the process's locale), one bit per class.
enum ClassBit : uint16_t {
    kAlpha = 1, kControl = 2, kDigit = 4, kGraph = 8, kLower = 16, kPunct = 32, kSpace = 64, kUpper = 128,
    kAlnum = 256, kHex = 512,
};

struct ClassTable {
    uint16_t bits[256] = {};
    constexpr ClassTable()
    {
        for (int c = 0; c < 256; ++c) {
            const bool upper = c >= 'A' && c <= 'Z', lower = c >= 'a' && c <= 'z', digit = c >= '0' && c <= '9';
            const bool graph = c > 32 && c < 127;
            uint16_t b = 0;
            b |= (upper || lower) ? kAlpha : 0;
            b |= (c < 32 || c == 127) ? kControl : 0;
            b |= digit ? kDigit : 0;
            b |= graph ? kGraph : 0;
            b |= lower ? kLower : 0;
            b |= (graph && !upper && !lower && !digit) ? kPunct : 0;
            b |= (c == ' ' || (c >= '\t' && c <= '\r')) ? kSpace : 0;
            b |= upper ? kUpper : 0;
            b |= (upper || lower || digit) ? kAlnum : 0;
            b |= (digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) ? kHex : 0;
            bits[c] = b;
        }
    }
};
constexpr ClassTable kClasses;

// The class a letter names (a, c, d, g, l, p, s, u, w, x); 0 for any other letter.
constexpr uint16_t classOfLetter(int lower)
{
    switch (lower) {
    case 'a': return kAlpha;
    case 'c': return kControl;
    case 'd': return kDigit;
    case 'g': return kGraph;
    case 'l': return kLower;
    case 'p': return kPunct;
    case 's': return kSpace;
    case 'u': return kUpper;
    case 'w': return kAlnum;
    case 'x': return kHex;
    default: return 0;
    }
}

// The class letter's test of c; "z" is the zero byte; an upper-case letter is the complement.
// Other characters stand for themselves.
bool matchClass(int c, int letter)
{
    const int lower = letter | 0x20;
    if (const uint16_t bit = classOfLetter(lower)) {
        const bool member = (kClasses.bits[c] & bit) != 0;
        return letter == lower ? member : !member;
    }
    if (letter == 'z')
        return c == 0;
    if (letter == 'Z')
        return c != 0;
    return letter == c;
}

// p is the '[' of a set whose ']' is at last.
bool matchBracketClass(int c, const char* p, const char* last)
{
    bool wanted = true;
    if (p[1] == '^') {
        wanted = false;
        ++p;
    }
    while (++p < last) {
        if (*p == kEscape) {
            ++p;
            if (matchClass(c, byte(p)))
                return wanted;
        } else if (p[1] == '-' && p + 2 < last) {
            p += 2;
            if (byte(p - 2) <= c && c <= byte(p))
                return wanted;
        } else if (byte(p) == c) {
            return wanted;
        }
    }
    return !wanted;
}

bool singleMatch(int c, const char* p, const char* itemEnd)
{
    switch (*p) {
    case '.': return true;
    case kEscape: return matchClass(c, byte(p + 1));
    case '[': return matchBracketClass(c, p, itemEnd - 1);
    default: return byte(p) == c;
    }
}

} // namespace

PatternMatcher::PatternMatcher(lua_State* L, const char* subject, size_t length)
    : L_(L), guard_(LuaStateGuard::of(L)), begin_(subject), end_(subject + length)
{
}

// A set's cost is its length: matching a character against it may look at all of it.
uint32_t PatternMatcher::setCost(const char* from, const char* to)
{
    const size_t length = size_t(to - from);
    return length < kStepsPerCheck ? uint32_t(length) : kStepsPerCheck;
}

// The steps of matching one character against the item at p: a set's length, else one. An item
// matched once is already counted by classEnd, which reads the set as far; the loops over many
// characters count each one.
uint32_t PatternMatcher::itemCost(const char* p, const char* itemEnd)
{
    return *p == '[' ? setCost(p, itemEnd) : 1;
}

void PatternMatcher::step(uint32_t cost)
{
    steps_ += cost;
    if (steps_ < kStepsPerCheck)
        return;
    steps_ = 0;
    if (guard_)
        guard_->checkTime(L_);
}

const char* PatternMatcher::matchAt(const char* s, const char* pattern)
{
    level_ = 0;
    depth_ = 0;
    return match(s, pattern);
}

const char* PatternMatcher::classEnd(const char* p)
{
    switch (*p++) {
    case kEscape:
        if (*p == '\0')
            luaL_error(L_, "malformed pattern (ends with '%%')");
        return p + 1;
    case '[':
        if (*p == '^')
            ++p;
        {
            const char* start = p;
            do {
                if (*p == '\0')
                    luaL_error(L_, "malformed pattern (missing ']')");
                if (*p++ == kEscape && *p != '\0')
                    ++p;  // an escaped character, "%]" among them
            } while (*p != ']');
            step(setCost(start, p));
        }
        return p + 1;
    default:
        return p;
    }
}

const char* PatternMatcher::matchBalance(const char* s, const char* p)
{
    if (p[0] == '\0' || p[1] == '\0')
        luaL_error(L_, "unbalanced pattern");
    if (s >= end_ || *s != p[0])
        return nullptr;
    int open = 1;
    while (++s < end_) {
        step(1);
        if (*s == p[1]) {
            if (--open == 0)
                return s + 1;
        } else if (*s == p[0]) {
            ++open;
        }
    }
    return nullptr;
}

const char* PatternMatcher::maxExpand(const char* s, const char* p, const char* itemEnd)
{
    const uint32_t cost = itemCost(p, itemEnd);
    ptrdiff_t count = 0;
    while (s + count < end_ && singleMatch(byte(s + count), p, itemEnd)) {
        ++count;
        step(cost);
    }
    for (; count >= 0; --count) {
        if (const char* result = match(s + count, itemEnd + 1))
            return result;
    }
    return nullptr;
}

const char* PatternMatcher::minExpand(const char* s, const char* p, const char* itemEnd)
{
    const uint32_t cost = itemCost(p, itemEnd);
    for (;;) {
        if (const char* result = match(s, itemEnd + 1))
            return result;
        step(cost);
        if (s < end_ && singleMatch(byte(s), p, itemEnd))
            ++s;
        else
            return nullptr;
    }
}

const char* PatternMatcher::startCapture(const char* s, const char* p, ptrdiff_t what)
{
    if (level_ >= kMaxCaptures)
        luaL_error(L_, "too many captures");
    captures_[level_].init = s;
    captures_[level_].length = what;
    ++level_;
    const char* result = match(s, p);
    if (!result)
        --level_;
    return result;
}

const char* PatternMatcher::endCapture(const char* s, const char* p)
{
    const int open = captureToClose();
    captures_[open].length = s - captures_[open].init;
    const char* result = match(s, p);
    if (!result)
        captures_[open].length = kUnfinished;
    return result;
}

const char* PatternMatcher::matchCapture(const char* s, int index)
{
    index = checkCapture(index);
    const size_t length = size_t(captures_[index].length);
    step(uint32_t(length / kBytesPerStep) + 1);
    if (size_t(end_ - s) >= length && std::memcmp(captures_[index].init, s, length) == 0)
        return s + length;
    return nullptr;
}

int PatternMatcher::captureToClose()
{
    for (int level = level_ - 1; level >= 0; --level)
        if (captures_[level].length == kUnfinished)
            return level;
    luaL_error(L_, "invalid pattern capture");
    return 0;
}

int PatternMatcher::checkCapture(int index)
{
    index -= '1';
    if (index < 0 || index >= level_ || captures_[index].length == kUnfinished)
        luaL_error(L_, "invalid capture index");
    return index;
}

// One pattern item at p (ending at itemEnd) followed by a quantifier. A plain item is matched
// by the caller's loop instead, so long literal patterns do not nest.
const char* PatternMatcher::matchItem(const char* s, const char* p, const char* itemEnd)
{
    const bool matched = s < end_ && singleMatch(byte(s), p, itemEnd);
    switch (*itemEnd) {
    case '?':
        if (matched) {
            if (const char* result = match(s + 1, itemEnd + 1))
                return result;
        }
        return match(s, itemEnd + 1);
    case '*':
        return maxExpand(s, p, itemEnd);
    case '+':
        return matched ? maxExpand(s + 1, p, itemEnd) : nullptr;
    default:  // '-'
        return minExpand(s, p, itemEnd);
    }
}

const char* PatternMatcher::match(const char* s, const char* p)
{
    if (++depth_ > kMaxDepth)
        luaL_error(L_, "pattern too complex");
    const char* result = nullptr;
    // Each pass either ends the match or moves on to the rest of the pattern.
    for (bool more = true; more;) {
        step(1);
        more = false;
        switch (*p) {
        case '(':
            result = p[1] == ')' ? startCapture(s, p + 2, kPosition) : startCapture(s, p + 1, kUnfinished);
            break;
        case ')':
            result = endCapture(s, p + 1);
            break;
        case '\0':
            result = s;
            break;
        case kEscape:
            if (p[1] == 'b') {
                s = matchBalance(s, p + 2);
                p += 4;
                more = s != nullptr;
                break;
            }
            if (p[1] == 'f') {
                p += 2;
                if (*p != '[')
                    luaL_error(L_, "missing '[' after '%%f' in pattern");
                const char* setEnd = classEnd(p);
                const int previous = s == begin_ ? 0 : byte(s - 1);
                const int current = s < end_ ? byte(s) : 0;
                step(2 * setCost(p, setEnd));
                more = !matchBracketClass(previous, p, setEnd - 1) && matchBracketClass(current, p, setEnd - 1);
                p = setEnd;
                break;
            }
            if (isDigit(byte(p + 1))) {
                s = matchCapture(s, byte(p + 1));
                p += 2;
                more = s != nullptr;
                break;
            }
            [[fallthrough]];
        default: {
            if (*p == '$' && p[1] == '\0') {
                result = s == end_ ? s : nullptr;
                break;
            }
            const char* itemEnd = classEnd(p);
            if (*itemEnd == '?' || *itemEnd == '*' || *itemEnd == '+' || *itemEnd == '-') {
                result = matchItem(s, p, itemEnd);
                break;
            }
            more = s < end_ && singleMatch(byte(s), p, itemEnd);
            ++s;
            p = itemEnd;
            break;
        }
        }
    }
    --depth_;
    return result;
}

void PatternMatcher::pushCapture(int i, const char* s, const char* e)
{
    if (i >= level_) {
        if (i != 0)
            luaL_error(L_, "invalid capture index");
        lua_pushlstring(L_, s, size_t(e - s));
        return;
    }
    const ptrdiff_t length = captures_[i].length;
    if (length == kUnfinished)
        luaL_error(L_, "unfinished capture");
    if (length == kPosition)
        lua_pushinteger(L_, captures_[i].init - begin_ + 1);
    else
        lua_pushlstring(L_, captures_[i].init, size_t(length));
}

int PatternMatcher::pushCaptures(const char* s, const char* e, bool wholeWhenNone)
{
    const int count = (level_ == 0 && wholeWhenNone) ? 1 : level_;
    luaL_checkstack(L_, count, "too many captures");
    for (int i = 0; i < count; ++i)
        pushCapture(i, s, e);
    return count;
}

bool hasPatternSpecials(const char* pattern, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (pattern[i] != '\0' && std::strchr("^$*+?.([%-", pattern[i]))
            return true;
    return false;
}

const char* findPlain(PatternMatcher& matcher, const char* text, size_t textLength, const char* needle,
                      size_t needleLength)
{
    if (needleLength == 0)
        return text;
    if (needleLength > textLength)
        return nullptr;
    const char* last = text + (textLength - needleLength);
    for (const char* at = text; at <= last; ++at) {
        const char* from = at;
        at = static_cast<const char*>(std::memchr(at, needle[0], size_t(last - at) + 1));
        if (!at)
            return nullptr;
        matcher.step(1 + uint32_t(needleLength / kBytesPerStep) + uint32_t(size_t(at - from) / kBytesPerStep));
        if (std::memcmp(at, needle, needleLength) == 0)
            return at;
    }
    return nullptr;
}

} // namespace VadiZov
