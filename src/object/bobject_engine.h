// What an object asks of the engine whose slot holds it. The engine implements this and hands
// itself to each object it places; an object no engine placed (a test's, say) asks nothing.
#pragma once

namespace VadiZov {

class BeamObjectImpl;

class ObjectEngine {
public:
    // The object finished loading: the physics worker rebuilds its core threads.
    virtual void markObjectsChanged() = 0;
    // Around the object's own Lua: removals asked for meanwhile wait until it has returned.
    // leaveObjectLua answers whether `object` was deleted then.
    virtual void enterObjectLua() = 0;
    virtual bool leaveObjectLua(const BeamObjectImpl* object) = 0;
    // False while the simulation is paused: the object's Lua update then only keeps house.
    virtual bool getEnabled() = 0;

protected:
    ~ObjectEngine() = default;
};

} // namespace VadiZov
