// What an object's script queues for the host: JavaScript, sound actions, particles, and the
// force-feedback calls it passes straight on. The object's graphics update sends the queues
// (the contact code queues its own particles: bcontact_particles.h).
#pragma once

#include "velkor/types.h"

namespace VadiZov {

class BeamObjectImpl;
class SFXSource;
struct particleData;

void executeJS(BeamObjectImpl& object, const char* script, int value);
void setVolume(BeamObjectImpl& object, SFXSource* source, float volume);
void setPitch(BeamObjectImpl& object, SFXSource* source, float pitch);
// Played through the game engine at the next graphics update; the sound then follows the node
// when it was given a volume.
void playSFXOnce(BeamObjectImpl& object, const char* name, int node, float volume, float pitch);
void attachSFXNode(BeamObjectImpl& object, SFXSource* source, int node);

// -1 or nothing without a game engine.
int setupForceFeedback(BeamObjectImpl& object, const char* config);
void sendForceFeedback(BeamObjectImpl& object, int channel, float value);
const char* getForceFeedbackConfig(BeamObjectImpl& object, int channel);

void addParticle(BeamObjectImpl& object, const particleData& particle);
// A particle at node `from` flying towards node `to` at speed (plus from's own velocity for the
// relative form). Nothing for invalid nodes or a count of 0.
void addParticleByNodes(BeamObjectImpl& object, int from, int to, float speed, int type, float width, int count);
void addParticleByNodesRelative(BeamObjectImpl& object, int from, int to, float speed, int type, float width,
                                int count);

} // namespace VadiZov
