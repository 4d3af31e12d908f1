#pragma once

#include "platform/win32/win32_headers.h"

#include <unknwn.h>

// The class factory of clsOutputDriver. A host that keeps it for later holds a server lock (LockServer), as
// COM has it: the factory itself does not keep the DLL loaded.
class ClassFactory final : public IClassFactory {
public:
    static HRESULT Create(REFIID iid, void** object);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    ClassFactory() = default;
    ~ClassFactory() = default;

    ULONG references_ = 1;
};
