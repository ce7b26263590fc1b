// A data member scripts read from any thread but write only from the host thread, since the host
// thread reads it while a frame runs: a write from a physics thread is refused with
// "*** <Owner>.<Name>: refused on a physics thread", and a value `Usable` refuses is not taken.
#pragma once

#include "base/bphysics_thread.h"
#include "lua/binding/blua_binding.h"

namespace VadiZov {

template <class V>
bool anyValue(const char*, const V&)
{
    return true;
}

template <class C, class Base, class V, V Base::*Member>
V readHostField(const C& object)
{
    return object.*Member;
}

template <class C, class Base, class V, V Base::*Member, const char* Owner, const char* Name,
          bool (*Usable)(const char*, const V&)>
void writeHostField(C& object, V value)
{
    if (!refuseOnPhysicsThread(Owner, Name) && Usable(Name, value))
        object.*Member = value;
}

template <class C, class Base, class V, V Base::*Member, const char* Owner, const char* Name,
          bool (*Usable)(const char*, const V&) = &anyValue<V>>
void addHostField(LuaBinding::Class<C>& c)
{
    c.addProperty(Name, &readHostField<C, Base, V, Member>, &writeHostField<C, Base, V, Member, Owner, Name, Usable>);
}

} // namespace VadiZov
