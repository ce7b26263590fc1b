// CefSchemeRegistrar: valid only during CefApp::OnRegisterCustomSchemes.
#pragma once

#include "cef/cef_base.h"
#include "cef/cef_string.h"

class CefSchemeRegistrar : public virtual CefBase {
public:
    virtual bool AddCustomScheme(const CefString& scheme_name, bool is_standard, bool is_local,
                                 bool is_display_isolated) = 0;
};
