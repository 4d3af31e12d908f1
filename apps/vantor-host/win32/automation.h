#pragma once

#include <oaidl.h>
#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

// A call the component refused, with its own description.
class HostFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Calls a method of an automation object by name, as a late-bound host does (GetIDsOfNames, then Invoke).
// Arguments are given in declaration order. A failure throws HostFailure with the component's description.
VARIANT CallByName(IDispatch& object, const wchar_t* name, std::vector<VARIANTARG> arguments);

// Throws HostFailure naming what failed, with the error object's description when there is one.
void Check(HRESULT result, const std::string& what);

// The helper object a host hands to init: any automation object will do; this one only counts references.
class HostHelper final : public IDispatch {
public:
    ULONG References() const { return references_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    // Lives on the host's stack: the count only tells whether the component let go of it.
    ULONG references_ = 1;
};
