#include "cef/cef_values_impl.h"

#include "cef/cef_runtime.h"

namespace VadiZov::cef_runtime {

CefRefPtr<CefListValue> ListValueImpl::Copy()
{
    CefRefPtr<ListValueImpl> copy = new ListValueImpl();
    copy->items_ = items_;
    return copy.get();
}

bool ListValueImpl::SetSize(size_t size)
{
    if (readOnly_)
        return false;
    items_.resize(size);
    return true;
}

bool ListValueImpl::Clear()
{
    if (readOnly_)
        return false;
    items_.clear();
    return true;
}

bool ListValueImpl::Remove(size_t index)
{
    if (readOnly_ || index >= items_.size())
        return false;
    items_.erase(items_.begin() + std::ptrdiff_t(index));
    return true;
}

CefValueType ListValueImpl::GetType(size_t index)
{
    const Item* item = At(index);
    return item ? item->type : VTYPE_INVALID;
}

bool ListValueImpl::GetBool(size_t index)
{
    const Item* item = At(index);
    return item && item->type == VTYPE_BOOL ? item->b : false;
}

int ListValueImpl::GetInt(size_t index)
{
    const Item* item = At(index);
    return item && item->type == VTYPE_INT ? item->i : 0;
}

double ListValueImpl::GetDouble(size_t index)
{
    const Item* item = At(index);
    if (!item)
        return 0.0;
    if (item->type == VTYPE_DOUBLE)
        return item->d;
    return item->type == VTYPE_INT ? double(item->i) : 0.0;
}

CefString ListValueImpl::GetString(size_t index)
{
    const Item* item = At(index);
    return item && item->type == VTYPE_STRING ? item->s : CefString();
}

ListValueImpl::Item* ListValueImpl::Place(size_t index)
{
    if (readOnly_ || (faultable_ && InjectedFaults().listSetFails))
        return nullptr;
    if (index >= items_.size())
        items_.resize(index + 1);  // new places hold null
    items_[index] = Item();
    return &items_[index];
}

bool ListValueImpl::SetNull(size_t index) { return Place(index) != nullptr; }

bool ListValueImpl::SetBool(size_t index, bool value)
{
    Item* item = Place(index);
    if (!item)
        return false;
    item->type = VTYPE_BOOL;
    item->b = value;
    return true;
}

bool ListValueImpl::SetInt(size_t index, int value)
{
    Item* item = Place(index);
    if (!item)
        return false;
    item->type = VTYPE_INT;
    item->i = value;
    return true;
}

bool ListValueImpl::SetDouble(size_t index, double value)
{
    Item* item = Place(index);
    if (!item)
        return false;
    item->type = VTYPE_DOUBLE;
    item->d = value;
    return true;
}

bool ListValueImpl::SetString(size_t index, const CefString& value)
{
    Item* item = Place(index);
    if (!item)
        return false;
    item->type = VTYPE_STRING;
    item->s = value;
    return true;
}

} // namespace VadiZov::cef_runtime

CefRefPtr<CefListValue> CefListValue::Create() { return new VadiZov::cef_runtime::ListValueImpl(); }
