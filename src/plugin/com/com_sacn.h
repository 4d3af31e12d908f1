#pragma once

#include "platform/win32/win32_headers.h"

#include "type_info_dispatch.h"
#include "vantor_out_com.h"

// The sACN interface of one driver object. It lives inside that object and answers IUnknown as the object
// does, so that QueryInterface from any of the object's interfaces reaches the same ones.
class ComSacn final : public IVantorSacn {
public:
    explicit ComSacn(IUnknown& owner) : owner_(owner) {}
    ComSacn(const ComSacn&) = delete;
    ComSacn& operator=(const ComSacn&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return owner_.QueryInterface(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return owner_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner_.Release(); }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return dispatch_.GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        return dispatch_.GetTypeInfo(index, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        return dispatch_.GetIDsOfNames(iid, names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* badArgument) override {
        return dispatch_.Invoke(id, iid, flags, parameters, result, exception, badArgument);
    }

    // IVantorSacn
    HRESULT STDMETHODCALLTYPE SetProtocol(LONG Protocol) override;
    HRESULT STDMETHODCALLTYPE SetPriority(LONG Priority) override;
    HRESULT STDMETHODCALLTYPE SetTtl(LONG Ttl) override;
    HRESULT STDMETHODCALLTYPE get_Protocol(LONG* result) override;
    HRESULT STDMETHODCALLTYPE get_SourceCount(LONG* result) override;
    HRESULT STDMETHODCALLTYPE get_Winner(BSTR* result) override;
    HRESULT STDMETHODCALLTYPE get_Merging(VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE get_IgnoredCount(LONG* result) override;
    HRESULT STDMETHODCALLTYPE get_Universe(LONG* result) override;

private:
    IUnknown& owner_;
    TypeInfoDispatch dispatch_{static_cast<IVantorSacn*>(this), &ComModule::SacnTypeInfo};
};
