// The surface parameters the contact response applies, and the process-wide table of them:
// 256 records addressed by number, with a name map for the scripts, terrain layers and
// collision triangles that refer to them by name.
#pragma once

#include <array>
#include <map>
#include <string>
#include <unordered_map>

#include "ground/bground_model_names.h"

namespace VadiZov {

// One ground model as the scripts describe it. The defaults are those of a new Lua record.
struct groundModel {
    float adhesionVelocity = 2.0f;
    float defaultDepth = 0.0f;
    float staticFrictionCoefficient = 1.0f;
    float slidingFrictionCoefficient = 0.7f;
    float hydrodynamicFriction = 0.01f;
    float stribeckVelocity = 6.0f;
    float stribeckVelocityInverse = 1.0f / 6.0f;  // kept by the table, not visible to Lua
    float strength = 1.0f;
    int collisiontype = 0;
    float fluidDensity = 200.0f;
    float flowConsistencyIndex = 10000.0f;
    float flowBehaviorIndex = 0.5f;
    float dragAnisotropy = 0.0f;
    bool skidMarks = false;

    // Every field zero: what a number reads before any script stored a model under it.
    static groundModel zeroed();
};

class GroundModelTable final : public GroundModelNames {
public:
    static constexpr int kCapacity = 256;

    // Every record holds the defaults; no model is in use.
    GroundModelTable();

    // Copies the model into the next free number and names it (name may be null: the model
    // still takes a number). Refused with an error line when all 256 numbers are taken.
    void setGroundModel(const groundModel& model, const char* name);
    // Frees every number and forgets every name; the records keep their values until reused.
    void resetGroundModels();
    // Engine start: no model in use, no names, every record all-zero.
    void clearForEngineInit();

    // Read by the physics threads: no lock, no allocation. Any byte is a valid number.
    const groundModel& model(unsigned char number) const { return models_[number]; }
    int count() const { return count_; }

    // The number of the model stored last under this upper-case name, or -1.
    int findGroundModel(const std::string& upperName) const override;
    // The name a number was stored with, unchanged; null for a number stored without one.
    const char* nameOf(int number) const;

private:
    std::array<groundModel, kCapacity> models_;
    int count_ = 0;
    std::unordered_map<std::string, int> numberByUpperName_;
    std::map<int, std::string> nameByNumber_;
};

// The one table of the process; every engine and Lua state shares it.
GroundModelTable& groundModelTable();

} // namespace VadiZov
