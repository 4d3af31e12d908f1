#pragma once

#include "platform/win32/win32_headers.h"

#include "cls_output_driver.h"
#include "com_sacn.h"
#include "type_info_dispatch.h"
#include "vantor_out_com.h"

// clsOutputDriver as a COM object: the dual default interface, its IDispatch served from the type library,
// the bridge interface for hosts without a person at the window, the sACN interface, and error objects for
// every failure.
// Apartment-threaded, but every object serves the one plug-in of this DLL, which answers only the thread that
// owns it (ComModule::AdmitCall).
class ComOutputDriver final : public _clsOutputDriver, public IVantorBridge, public ISupportErrorInfo {
public:
    // Makes one and hands out the asked interface.
    static HRESULT Create(REFIID iid, void** object);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* badArgument) override;

    // _clsOutputDriver
    HRESULT STDMETHODCALLTYPE Disable(VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE Enable(VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE PluginName(BSTR* result) override;
    HRESULT STDMETHODCALLTYPE SetChannel(LONG* Channel, LONG* Value, VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE Configure(VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE init(BSTR* CallingAppTitle, BSTR* MyFilename, IDispatch** HostPluginHelper,
                                   VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE Term(VARIANT_BOOL* result) override;

    // IVantorBridge
    HRESULT STDMETHODCALLTYPE SelectPort(LONG Port, VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE SetBridgeMode(VARIANT_BOOL Send) override;
    HRESULT STDMETHODCALLTYPE SetUniverse(LONG Universe) override;
    HRESULT STDMETHODCALLTYPE UpdateFirmware(BSTR Path, VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE PortList(BSTR* result) override;

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

private:
    ComOutputDriver();
    ~ComOutputDriver();

    ULONG references_ = 1;
    clsOutputDriver driver_;
    TypeInfoDispatch dispatch_{static_cast<_clsOutputDriver*>(this), &ComModule::DriverTypeInfo};
    ComSacn sacn_{*static_cast<_clsOutputDriver*>(this)};
};
