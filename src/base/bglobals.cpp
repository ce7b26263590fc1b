#include "base/bglobals.h"

namespace VadiZov {

LogSink* g_logSink = nullptr;
FS* g_fileSystem = nullptr;
GameEngine* g_gameEngine = nullptr;
BeamEngineImpl* g_engine = nullptr;
float g_savedTimeScale = 1.0f;
TerrainBlock* g_terrain = nullptr;
std::atomic<int> g_oneShotSoundsThisFrame{0};

} // namespace VadiZov
