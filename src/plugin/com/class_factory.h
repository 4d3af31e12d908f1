#pragma once

#include "platform/win32/win32_headers.h"

#include <unknwn.h>

// The class factory of clsOutputDriver. It counts as a live object while it exists, and its server locks
// keep the DLL from being unloaded.
class ClassFactory final : public IClassFactory {
public:
    static HRESULT Create(REFIID iid, void** object);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    ClassFactory();
    ~ClassFactory();

    ULONG references_ = 1;
};
