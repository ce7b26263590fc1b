// Linked against libvelkor: the exports are plain calls.
#include "engine_round.h"

int main()
{
    return consumer::engineRound(getBeamEngineVersion, getBeamEngine, destroyBeamEngine);
}
