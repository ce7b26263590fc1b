// Process-wide state of the library: one engine per process is assumed by all of it.
#pragma once

#include <atomic>

namespace VadiZov {

class LogSink;
class FS;
class GameEngine;
class BeamEngineImpl;
class TerrainBlock;

extern LogSink* g_logSink;
extern FS* g_fileSystem;
extern GameEngine* g_gameEngine;
extern BeamEngineImpl* g_engine;     // set by init, cleared by teardown
extern float g_savedTimeScale;       // saved by pause, restored by resume
// The engine's terrain (Lua global terrainBlock): claimed by the first engine made while none is
// set, released when that engine goes.
extern TerrainBlock* g_terrain;
// One-shot sounds asked for since the frame began (Lua's and the objects' queues together).
extern std::atomic<int> g_oneShotSoundsThisFrame;

} // namespace VadiZov
