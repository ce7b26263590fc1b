// Lua surface of what rides on an object: its cameras, flexible meshes and props. A script may
// keep a mesh or prop after the object replaced or cleared it, so these values are handed out
// checked: using a freed one is a Lua error, never a read of freed memory.
#include <cfloat>
#include <cmath>
#include <type_traits>

#include "base/blifetime.h"
#include "base/blog.h"
#include "base/bscript_values.h"
#include "lua/api/blua_api.h"
#include "lua/api/blua_host_field.h"
#include "lua/binding/blua_binding.h"
#include "object/bcamera.h"
#include "object/bflexmesh.h"
#include "object/bobject.h"
#include "object/bobject_attachments.h"
#include "object/bprop.h"
#include "base/bphysics_thread.h"
#include "velkor/host.h"

namespace VadiZov {

namespace {

template <class T>
int pushChecked(lua_State* L, T* object)
{
    const uint64_t serial = object ? lifetimeSerial(object) : 0;
    if (serial == 0) {
        lua_pushnil(L);
        return 1;
    }
    LuaBinding::pushCheckedPointer(L, object, LuaBinding::classKeyOf<T>(), serial, &isAlive);
    return 1;
}

BeamObjectImpl& objectSelf(lua_State* L) { return *LuaBinding::selfArg<BeamObjectImpl>(L, false); }

template <class T, T* (*Get)(BeamObjectImpl&, int)>
int luaGetAttachment(lua_State* L)
{
    BeamObjectImpl& object = objectSelf(L);
    const int slot = int(luaL_checkinteger(L, 2));
    return pushChecked(L, Get(object, slot));
}

template <class T, T* (*Set)(BeamObjectImpl&, int, const char*)>
int luaSetAttachment(lua_State* L)
{
    BeamObjectImpl& object = objectSelf(L);
    const int slot = int(luaL_checkinteger(L, 2));
    const char* name = LuaBinding::ArgReader<const char*>::read(L, 3);
    return pushChecked(L, Set(object, slot, name));
}

// A prop's fields are read by the host thread's graphics update while a frame runs, so
// physicsStep may not write them; offsets and rotations must be finite and of a real size
// (FLT_MAX, the "not given" mark of the base values, included), or the host is sent NaN.
bool usablePropComponent(float v) { return v == FLT_MAX || (std::isfinite(v) && std::fabs(v) <= kMaxScriptCoordinate); }

template <class V>
bool usablePropValue(const char* name, const V& value)
{
    if constexpr (std::is_same_v<V, float3>) {
        if (usablePropComponent(value.x) && usablePropComponent(value.y) && usablePropComponent(value.z))
            return true;
        logFormat(LOG_ERROR, "*** Prop.%s: (%g, %g, %g) is not finite or out of range, ignored", name, double(value.x),
                  double(value.y), double(value.z));
        return false;
    } else if constexpr (std::is_same_v<V, float>) {
        if (std::isfinite(value) && std::fabs(value) <= kMaxScriptValue)
            return true;
        logFormat(LOG_ERROR, "*** Prop.%s: (%g) is not finite or out of range, ignored", name, double(value));
        return false;
    } else {
        return true;
    }
}

constexpr char kProp[] = "Prop";

template <class V, V Prop::*Member, const char* Name>
void addPropField(LuaBinding::Class<Prop>& c)
{
    addHostField<Prop, Prop, V, Member, kProp, Name, &usablePropValue<V>>(c);
}

constexpr char kNRef[] = "nRef";
constexpr char kNX[] = "nX";
constexpr char kNY[] = "nY";
constexpr char kBaseTranslation[] = "baseTranslation";
constexpr char kTranslation[] = "translation";
constexpr char kBaseRotation[] = "baseRotation";
constexpr char kRotation[] = "rotation";
constexpr char kSlotID[] = "slotID";
constexpr char kDataValue[] = "dataValue";

int luaPropLight(lua_State* L)
{
    const Prop* prop = LuaBinding::selfArg<Prop>(L, true);
    return pushChecked(L, prop->light());
}

} // namespace

void addObjectAttachmentMembers(LuaBinding::Class<BeamObjectImpl>& c)
{
    c.addCFunction("getFlexmesh", &luaGetAttachment<FlexMesh, &getFlexmesh>, false)
        .addCFunction("setFlexmesh", &luaSetAttachment<FlexMesh, &setFlexmesh>, false)
        .addCFunction("setProp", &luaSetAttachment<Prop, &setProp>, false)
        .addCFunction("getProp", &luaGetAttachment<Prop, &getProp>, false)
        .addFunction("setReferenceNodes", &setReferenceNodes)
        .addFunction("setExternalCamera", &setExternalCamera)
        .addFunction("addInternalCamera", &addInternalCamera)
        .addFunction("getProjectedNodePosition", &getProjectedNodePosition);
}

void addFlexMeshMembers(LuaBinding::Class<FlexMesh>& c)
{
    c.addFunction("addNodeBinding", &FlexMesh::addNodeBinding)
        .addFunction("initialize", &FlexMesh::initialize)
        .addFunction("setInitialTransformation", &FlexMesh::setInitialTransformation);
}

// `light` is read-only: a light written into another prop would be given back to the host twice.
void addPropMembers(LuaBinding::Class<Prop>& c)
{
    c.addFunction("initialize", &Prop::initialize);
    addPropField<int, &Prop::nRef, kNRef>(c);
    addPropField<int, &Prop::nX, kNX>(c);
    addPropField<int, &Prop::nY, kNY>(c);
    addPropField<float3, &Prop::baseTranslation, kBaseTranslation>(c);
    addPropField<float3, &Prop::translation, kTranslation>(c);
    addPropField<float3, &Prop::baseRotation, kBaseRotation>(c);
    addPropField<float3, &Prop::rotation, kRotation>(c);
    addPropField<int, &Prop::slotID, kSlotID>(c);
    c.addReadOnlyCProperty("light", &luaPropLight);
    addPropField<float, &Prop::dataValue, kDataValue>(c);
}

} // namespace VadiZov
