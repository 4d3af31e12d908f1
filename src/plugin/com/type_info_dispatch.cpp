#include "type_info_dispatch.h"

#include <vector>

namespace {

// Script hosts pass their variables as references to variants. A by-reference parameter wants a reference to
// the value itself, so such arguments are handed on as references into the variants they point at (Windows'
// oleaut32 unwraps them itself, wine's does not). Writes still reach the caller's variables.
std::vector<VARIANTARG> UnwrappedArguments(const DISPPARAMS& parameters) {
    std::vector<VARIANTARG> arguments(parameters.rgvarg, parameters.rgvarg + parameters.cArgs);
    for (VARIANTARG& argument : arguments) {
        if (V_VT(&argument) != (VT_VARIANT | VT_BYREF) || !V_VARIANTREF(&argument)) continue;
        VARIANT* held = V_VARIANTREF(&argument);
        const VARTYPE type = V_VT(held);
        if (type == VT_EMPTY || type == VT_NULL || type == VT_DECIMAL || (type & (VT_BYREF | VT_ARRAY)))
            continue;
        V_VT(&argument) = type | VT_BYREF;
        // Every scalar member of the variant's union starts at the same place.
        V_BYREF(&argument) = &V_UI1(held);
    }
    return arguments;
}

}  // namespace

HRESULT TypeInfoDispatch::GetTypeInfoCount(UINT* count) {
    if (const HRESULT admitted = TheModule().AdmitCall(false); FAILED(admitted)) return admitted;
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT TypeInfoDispatch::GetTypeInfo(UINT index, ITypeInfo** info) {
    if (const HRESULT admitted = TheModule().AdmitCall(false); FAILED(admitted)) return admitted;
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    HRESULT failure = S_OK;
    ITypeInfo* typeInfo = (TheModule().*source_)(&failure);
    if (!typeInfo) return failure;
    typeInfo->AddRef();
    *info = typeInfo;
    return S_OK;
}

HRESULT TypeInfoDispatch::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids) {
    if (const HRESULT admitted = TheModule().AdmitCall(false); FAILED(admitted)) return admitted;
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_POINTER;
    HRESULT failure = S_OK;
    ITypeInfo* typeInfo = (TheModule().*source_)(&failure);
    if (!typeInfo) return failure;
    return DispGetIDsOfNames(typeInfo, names, count, ids);
}

HRESULT TypeInfoDispatch::Invoke(DISPID id, REFIID iid, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                                 EXCEPINFO* exception, UINT* badArgument) {
    // The methods refuse a foreign thread themselves, but nothing of the call may run before that either.
    if (const HRESULT admitted = TheModule().AdmitCall(false); FAILED(admitted)) return admitted;
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    HRESULT failure = S_OK;
    ITypeInfo* typeInfo = (TheModule().*source_)(&failure);
    if (!typeInfo) return failure;
    if (!parameters) return E_INVALIDARG;
    std::vector<VARIANTARG> arguments = UnwrappedArguments(*parameters);
    DISPPARAMS unwrapped = *parameters;
    unwrapped.rgvarg = arguments.data();
    // A caller that wants no result is still handed none to leak.
    VARIANT unused;
    VariantInit(&unused);
    // A failing method's error object becomes the EXCEPINFO, so a script sees its number and description.
    const HRESULT invoked =
        DispInvoke(face_, typeInfo, id, flags, &unwrapped, result ? result : &unused, exception, badArgument);
    VariantClear(&unused);
    return invoked;
}
