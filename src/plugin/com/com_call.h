#pragma once

#include <initializer_list>
#include <new>
#include <string>
#include <utility>

#include "com_module.h"
#include "com_status.h"
#include "platform/win32/text.h"

// What every method of the component's interfaces does around its work.

// Which calls make their thread the owner of the plug-in's state when it has none yet.
enum class Reach { PluginState, NothingShared };

// A refusal leaves no error object of an earlier failure for the caller's GetErrorInfo to find.
inline HRESULT Refused(HRESULT code) {
    SetErrorInfo(0, nullptr);
    return code;
}

// Runs one method. A call from another thread than the plug-in's, or with an out parameter missing, is
// refused before anything runs: it allocates nothing and changes nothing.
template <typename Action>
HRESULT Guarded(REFIID iid, Reach reach, std::initializer_list<const void*> outs, Action&& action) {
    const HRESULT admitted = TheModule().AdmitCall(reach == Reach::PluginState);
    if (FAILED(admitted)) return Refused(admitted);
    for (const void* out : outs)
        if (!out) return Refused(E_POINTER);
    return ComGuarded(iid, std::forward<Action>(action));
}

inline BSTR AllocatedText(const std::string& text) {
    const std::wstring wide = Widen(text);
    BSTR made = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!made) throw std::bad_alloc();
    return made;
}
