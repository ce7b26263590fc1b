#include "ground/bground_models.h"

#include "base/blog.h"

namespace VadiZov {

groundModel groundModel::zeroed()
{
    groundModel m;
    m.adhesionVelocity = 0.0f;
    m.defaultDepth = 0.0f;
    m.staticFrictionCoefficient = 0.0f;
    m.slidingFrictionCoefficient = 0.0f;
    m.hydrodynamicFriction = 0.0f;
    m.stribeckVelocity = 0.0f;
    m.stribeckVelocityInverse = 0.0f;
    m.strength = 0.0f;
    m.collisiontype = 0;
    m.fluidDensity = 0.0f;
    m.flowConsistencyIndex = 0.0f;
    m.flowBehaviorIndex = 0.0f;
    m.dragAnisotropy = 0.0f;
    m.skidMarks = false;
    return m;
}

GroundModelTable::GroundModelTable() = default;

void GroundModelTable::setGroundModel(const groundModel& model, const char* name)
{
    if (count_ > kCapacity - 1) {
        logFormat(LOG_ERROR, "too much ground models, max: %d", kCapacity);
        return;
    }
    groundModel& stored = models_[count_];
    stored = model;
    // A Stribeck velocity of 0 gives an infinite reciprocal; the scripts are trusted here.
    stored.stribeckVelocityInverse = 1.0f / stored.stribeckVelocity;
    if (name) {
        numberByUpperName_[toUpper(name)] = count_;
        nameByNumber_[count_] = name;
    }
    ++count_;
}

void GroundModelTable::resetGroundModels()
{
    count_ = 0;
    numberByUpperName_.clear();
    nameByNumber_.clear();
}

void GroundModelTable::clearForEngineInit()
{
    resetGroundModels();
    models_.fill(groundModel::zeroed());
}

int GroundModelTable::findGroundModel(const std::string& upperName) const
{
    const auto it = numberByUpperName_.find(upperName);
    return it == numberByUpperName_.end() ? -1 : it->second;
}

const char* GroundModelTable::nameOf(int number) const
{
    const auto it = nameByNumber_.find(number);
    return it == nameByNumber_.end() ? nullptr : it->second.c_str();
}

GroundModelTable& groundModelTable()
{
    static GroundModelTable table;
    return table;
}

} // namespace VadiZov
