// The runtime's list value (not part of the CEF-shaped interface).
#pragma once

#include <vector>

#include "cef/cef_values.h"

namespace VadiZov::cef_runtime {

class ListValueImpl : public CefListValue {
public:
    struct Item {
        CefValueType type = VTYPE_NULL;
        bool b = false;
        int i = 0;
        double d = 0.0;
        CefString s;
    };

    ListValueImpl() = default;
    // Read-only lists refuse every change (a received message's arguments).
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
    // Outgoing message lists obey the injected fault "list-set-fails".
    void SetFaultable(bool faultable) { faultable_ = faultable; }

    bool IsValid() override { return true; }
    bool IsOwned() override { return false; }
    bool IsReadOnly() override { return readOnly_; }
    CefRefPtr<CefListValue> Copy() override;
    bool SetSize(size_t size) override;
    size_t GetSize() override { return items_.size(); }
    bool Clear() override;
    bool Remove(size_t index) override;
    CefValueType GetType(size_t index) override;
    bool GetBool(size_t index) override;
    int GetInt(size_t index) override;
    double GetDouble(size_t index) override;
    CefString GetString(size_t index) override;
    bool SetNull(size_t index) override;
    bool SetBool(size_t index, bool value) override;
    bool SetInt(size_t index, int value) override;
    bool SetDouble(size_t index, double value) override;
    bool SetString(size_t index, const CefString& value) override;

    const std::vector<Item>& Items() const { return items_; }

private:
    Item* Place(size_t index);  // null when read-only
    const Item* At(size_t index) const { return index < items_.size() ? &items_[index] : nullptr; }

    std::vector<Item> items_;
    bool readOnly_ = false;
    bool faultable_ = false;

    IMPLEMENT_REFCOUNTING(ListValueImpl)
};

} // namespace VadiZov::cef_runtime
