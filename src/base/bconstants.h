// The library's fixed numbers in one place, each with its unit and why it has this value.
#pragma once

#include <cstddef>
#include <cstdint>

namespace VadiZov {

// Capacities of one object's plain arrays (counts). The solver keeps fixed-size arrays so a
// substep never allocates; 2000 nodes and 10000 beams are the largest object run in real time.
constexpr int kMaxNodes = 2000;
constexpr int kMaxBeams = 10000;
constexpr int kMaxWheels = 40;
constexpr int kMaxWheelNodes = 100;
constexpr int kMaxInternalCameras = 50;
constexpr int kMaxFlexmeshes = 300;
constexpr int kMaxProps = 300;
constexpr int kMaxPressureGroup = 127;  // the triangle keeps its group in a signed byte

// What one object's scripts may build in its growable lists or queue in a frame. Each is far above
// what a real object uses (a closed skin over 2000 nodes has about 4000 triangles) and keeps the
// memory and the per-substep cost bounded: every triangle, rail link and slide node is visited
// every substep, so a script adding one per substep would otherwise make the run quadratic. A call
// past a capacity is refused with a logged error.
constexpr int kMaxCollisionTriangles = 10000;
constexpr int kMaxRails = 1000;
constexpr int kMaxRailLinks = 10000;  // all rails of the object together
constexpr int kMaxSlideNodes = 2000;
constexpr int kMaxQueuedLuaCommands = 1024;  // an object's command queue, and the engine's chunks and files
constexpr size_t kMaxQueuedLuaCommandBytes = size_t(16) << 20;  // and the text of each of these queues
constexpr int kMaxQueuedJavaScript = 1024;   // commands in an object's JavaScript queue per frame
constexpr size_t kMaxQueuedJavaScriptBytes = size_t(16) << 20;  // and their text together
constexpr int kMaxQueuedSoundActions = 1024;  // sound actions queued per frame
constexpr size_t kMaxQueuedSoundNameBytes = size_t(1) << 20;  // and the names of their one-shot sounds
constexpr int kMaxAttachedSounds = 256;
constexpr int kMaxOneShotSoundsPerFrame = 256;  // one-shot sounds asked of the host per frame, all scripts
constexpr int kMaxHostParticles = 8192;  // particles waiting for the host, per object
// Objects alive at once when a script makes another with BeamObject(): each is about 1.5 MB with
// a Lua state of its own, and a script may keep any number in a table.
constexpr int kMaxLiveObjects = 32;

// Metres. Added to a length before dividing by it, so a zero-length beam, lever or offset gives a
// zero direction instead of NaN; far below any length a real object has.
constexpr float kLengthEpsilon = 1e-25f;

// Rounds a contended lock spins before it sleeps: the physics holds its locks for microseconds,
// so a short spin saves the cost of a sleep and wake-up.
constexpr unsigned kLockSpinCount = 1024;

// kg/m^3, air at sea level. It is also the medium density below which a node counts as in air.
constexpr float kAirDensity = 1.2f;
// Pa, the standard atmosphere at sea level.
constexpr float kAtmosphericPressure = 101325.0f;

} // namespace VadiZov
