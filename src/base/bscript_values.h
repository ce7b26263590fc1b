// Numbers scripts hand the library, checked before they are taken. NaN, infinity or a magnitude
// no real object has would turn a whole body (or what the host is sent) non-finite within a
// substep or two, noticed only afterwards. A refused value is logged at error level as
//   "*** <member>: <what> (<value>) is not finite, ignored"
//   "*** <member>: <what> (<value>) is out of range, ignored"
// and the call changes nothing.
#pragma once

#include <cstddef>

#include "velkor/types.h"

namespace VadiZov {

// m for positions, lengths and offsets, m/s for velocities: their squares stay far inside float.
constexpr float kMaxScriptCoordinate = 1e7f;
// Forces (N), torques (N m), stiffness (N/m), damping (N s/m), pressures (Pa), masses (kg),
// accelerations, coefficients and factors: the product of two stays finite.
constexpr float kMaxScriptValue = 1e15f;

// Finite and at most `bound` in size.
bool acceptNumber(const char* member, const char* what, float value, float bound = kMaxScriptValue);
// As acceptNumber, and not negative ("*** <member>: <what> (<value>) is negative, ignored"): for
// stiffness, damping, friction and drag, whose sign turned would add energy instead of taking it.
bool acceptCoefficient(const char* member, const char* what, float value);
// Finite, any size: for limits and thresholds that are only compared (FLT_MAX means "never").
bool acceptLimit(const char* member, const char* what, float value);
// Every component finite and at most `bound` in size.
bool acceptVector(const char* member, const char* what, const float3& value, float bound = kMaxScriptCoordinate);

// True while `used` is below `capacity`; else logs "*** <member>: no room for more than
// <capacity> <what>, refused".
bool roomFor(const char* member, size_t used, int capacity, const char* what);

// True while `adding` more bytes fit beside `used` within `capacity`; else logs "*** <member>: no
// room for more than <capacity> bytes of <what>, refused". Queues a script fills hold text by
// the byte as well as by the entry, so a few huge strings cannot take what a count allows.
bool roomForBytes(const char* member, size_t used, size_t adding, size_t capacity, const char* what);

// Counts one more one-shot sound for this frame: true while there is room (the engine's frame
// start empties the count), else logs "*** <member>: no room for more than 256 one-shot sounds
// this frame, refused".
bool roomForOneShotSound(const char* member);

} // namespace VadiZov
