#pragma once

#include "platform/win32/win32_headers.h"
#include "plugin_state.h"

#include <oaidl.h>

// The component's state, one per loaded DLL: the plug-in's state with its Windows window (and the counts of
// live drivers and server locks), and the type information that IDispatch is served from.
class ComModule {
public:
    ComModule();
    ComModule(const ComModule&) = delete;
    ComModule& operator=(const ComModule&) = delete;

    PluginState& Plugin() { return plugin_; }
    // The default interface's type information, from the type library inside the DLL; nullptr with the
    // failure's HRESULT in *failure when it cannot be read.
    ITypeInfo* DriverTypeInfo(HRESULT* failure);

private:
    PluginState plugin_;
    ITypeInfo* typeInfo_ = nullptr;
};

// The one state of this loaded DLL.
ComModule& TheModule();
