#pragma once

#include "platform/win32/win32_headers.h"
#include "plugin_state.h"

#include <oaidl.h>

#include "vantor_out_com.h"

#include <atomic>

// The component's state, one per loaded DLL: the plug-in's state with its Windows window (and the counts of
// live drivers and server locks), and the type information that IDispatch is served from.
class ComModule {
public:
    ComModule();
    ComModule(const ComModule&) = delete;
    ComModule& operator=(const ComModule&) = delete;

    PluginState& Plugin() { return plugin_; }
    // The type information of the default interface and of the sACN one, from the type library inside the
    // DLL; nullptr with the failure's HRESULT in *failure when it cannot be read. Safe on any thread.
    ITypeInfo* DriverTypeInfo(HRESULT* failure) {
        return TypeInfo(driverInfo_, IID__clsOutputDriver, failure);
    }
    ITypeInfo* SacnTypeInfo(HRESULT* failure) { return TypeInfo(sacnInfo_, IID_IVantorSacn, failure); }

    // The plug-in's state, its window with the timers, the port and the socket belong to one thread: the
    // first whose call reaches that state, which is the one that makes the window. Every object of every
    // apartment shares them, so a call from any other thread is refused, whichever object it is made on.
    // S_OK when this thread may go on (a claiming call makes it the owner if there is none yet), else
    // RPC_E_WRONG_THREAD.
    HRESULT AdmitCall(bool claim);

private:
    static ITypeInfo* TypeInfo(std::atomic<ITypeInfo*>& held, REFIID iid, HRESULT* failure);

    PluginState plugin_;
    std::atomic<ITypeInfo*> driverInfo_{nullptr};
    std::atomic<ITypeInfo*> sacnInfo_{nullptr};
    std::atomic<DWORD> owner_{0};
};

// The one state of this loaded DLL.
ComModule& TheModule();
