#pragma once

#include "platform/win32/win32_headers.h"
#include "plugin_state.h"

#include <oaidl.h>

#include <atomic>

// The component's state, one per loaded DLL: the plug-in's state with its Windows window (and the counts of
// live drivers and server locks), and the type information that IDispatch is served from.
class ComModule {
public:
    ComModule();
    ComModule(const ComModule&) = delete;
    ComModule& operator=(const ComModule&) = delete;

    PluginState& Plugin() { return plugin_; }
    // The default interface's type information, from the type library inside the DLL; nullptr with the
    // failure's HRESULT in *failure when it cannot be read. Safe on any thread.
    ITypeInfo* DriverTypeInfo(HRESULT* failure);

    // The plug-in's state, its window with the timers, the port and the socket belong to one thread: the
    // first whose call reaches that state, which is the one that makes the window. Every object of every
    // apartment shares them, so a call from any other thread is refused, whichever object it is made on.
    // S_OK when this thread may go on (a claiming call makes it the owner if there is none yet), else
    // RPC_E_WRONG_THREAD.
    HRESULT AdmitCall(bool claim);

private:
    PluginState plugin_;
    std::atomic<ITypeInfo*> typeInfo_{nullptr};
    std::atomic<DWORD> owner_{0};
};

// The one state of this loaded DLL.
ComModule& TheModule();
