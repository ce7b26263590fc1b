// Lua surface of what rides on an object: its cameras, flexible meshes and props. A script may
// keep a mesh or prop after the object replaced or cleared it, so these values are handed out
// checked: using a freed one is a Lua error, never a read of freed memory.
#include "base/blifetime.h"
#include "lua/api/blua_api.h"
#include "lua/binding/blua_binding.h"
#include "object/bcamera.h"
#include "object/bflexmesh.h"
#include "object/bobject.h"
#include "object/bobject_attachments.h"
#include "object/bprop.h"
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
    c.addFunction("initialize", &Prop::initialize)
        .addProperty("nRef", &Prop::nRef)
        .addProperty("nX", &Prop::nX)
        .addProperty("nY", &Prop::nY)
        .addProperty("baseTranslation", &Prop::baseTranslation)
        .addProperty("translation", &Prop::translation)
        .addProperty("baseRotation", &Prop::baseRotation)
        .addProperty("rotation", &Prop::rotation)
        .addProperty("slotID", &Prop::slotID)
        .addReadOnlyCProperty("light", &luaPropLight)
        .addProperty("dataValue", &Prop::dataValue);
}

} // namespace VadiZov
