#include "class_factory.h"

#include <new>
#include <stdexcept>

#include "com_module.h"
#include "com_output_driver.h"

HRESULT ClassFactory::Create(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    auto* made = new (std::nothrow) ClassFactory;
    if (!made) return E_OUTOFMEMORY;
    const HRESULT result = made->QueryInterface(iid, object);
    made->Release();
    return result;
}

HRESULT ClassFactory::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

ULONG ClassFactory::AddRef() {
    return ++references_;
}

ULONG ClassFactory::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return ComOutputDriver::Create(iid, object);
}

HRESULT ClassFactory::LockServer(BOOL lock) {
    PluginState& plugin = TheModule().Plugin();
    if (lock) {
        plugin.LockServer();
        return S_OK;
    }
    // An unlock without a lock is the caller's mistake; the count stays as it is.
    try {
        plugin.UnlockServer();
        return S_OK;
    } catch (const std::logic_error&) {
        return E_UNEXPECTED;
    }
}
