#pragma once

#include "platform/win32/win32_headers.h"
#include "plugin_state.h"

#include <oaidl.h>

// The component's state, one per loaded DLL: the plug-in's state with its Windows window, the class
// factory's server locks, and the type information that IDispatch is served from.
class ComModule {
public:
    ComModule();
    ComModule(const ComModule&) = delete;
    ComModule& operator=(const ComModule&) = delete;

    PluginState& Plugin() { return plugin_; }
    // False for an unlock without a lock.
    bool LockServer(bool lock);
    // No object alive and no lock held.
    bool CanUnloadNow() const { return plugin_.LiveObjects() == 0 && locks_ == 0; }
    // The default interface's type information, from the type library inside the DLL; nullptr with the
    // failure's HRESULT in *failure when it cannot be read.
    ITypeInfo* DriverTypeInfo(HRESULT* failure);

private:
    PluginState plugin_;
    int locks_ = 0;
    ITypeInfo* typeInfo_ = nullptr;
};

// The one state of this loaded DLL.
ComModule& TheModule();
