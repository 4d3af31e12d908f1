#include "class_factory.h"

#include <new>

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

ClassFactory::ClassFactory() {
    TheModule().Plugin().ObjectCreated();
}

ClassFactory::~ClassFactory() {
    TheModule().Plugin().ObjectReleased();
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
    return TheModule().LockServer(lock != FALSE) ? S_OK : E_UNEXPECTED;
}
