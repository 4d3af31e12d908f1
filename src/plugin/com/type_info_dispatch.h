#pragma once

#include "com_module.h"

// IDispatch of one dual interface, served from its type information (DispInvoke), so that names and ids
// are exactly the declared ones, as a script host expects. Nothing runs for a call from a foreign thread.
class TypeInfoDispatch {
public:
    using Source = ITypeInfo* (ComModule::*)(HRESULT* failure);

    // face: the interface pointer whose vtable DispInvoke calls.
    TypeInfoDispatch(void* face, Source source) : face_(face), source_(source) {}

    HRESULT GetTypeInfoCount(UINT* count);
    HRESULT GetTypeInfo(UINT index, ITypeInfo** info);
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids);
    HRESULT Invoke(DISPID id, REFIID iid, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                   EXCEPINFO* exception, UINT* badArgument);

private:
    void* face_;
    Source source_;
};
