#include "com_output_driver.h"

#include <stdexcept>
#include <utility>

#include "com_call.h"
#include "window_actions.h"

namespace {

// The host's helper object, referenced from init to Term and otherwise left alone.
class DispatchHelper : public HostHelperReference {
public:
    explicit DispatchHelper(IDispatch* helper) : helper_(helper) { helper_->AddRef(); }
    ~DispatchHelper() override { helper_->Release(); }

private:
    IDispatch* helper_;
};

std::string TextOf(const BSTR* text) {
    if (!text || !*text) return {};
    return Narrow(std::wstring_view(*text, SysStringLen(*text)));
}

}  // namespace

HRESULT ComOutputDriver::Create(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    auto* made = new (std::nothrow) ComOutputDriver;
    if (!made) return E_OUTOFMEMORY;
    const HRESULT result = made->QueryInterface(iid, object);
    made->Release();
    return result;
}

ComOutputDriver::ComOutputDriver() : driver_(TheModule().Plugin()) {
    TheModule().Plugin().ObjectCreated();
}

ComOutputDriver::~ComOutputDriver() {
    TheModule().Plugin().ObjectReleased();
}

HRESULT ComOutputDriver::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID__clsOutputDriver)
        *object = static_cast<_clsOutputDriver*>(this);
    else if (iid == IID_IVantorBridge)
        *object = static_cast<IVantorBridge*>(this);
    else if (iid == IID_IVantorSacn)
        *object = static_cast<IVantorSacn*>(&sacn_);
    else if (iid == IID_ISupportErrorInfo)
        *object = static_cast<ISupportErrorInfo*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG ComOutputDriver::AddRef() {
    return ++references_;
}

ULONG ComOutputDriver::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT ComOutputDriver::GetTypeInfoCount(UINT* count) {
    return dispatch_.GetTypeInfoCount(count);
}

HRESULT ComOutputDriver::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    return dispatch_.GetTypeInfo(index, info);
}

HRESULT ComOutputDriver::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    return dispatch_.GetIDsOfNames(iid, names, count, ids);
}

HRESULT ComOutputDriver::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* parameters,
                                VARIANT* result, EXCEPINFO* exception, UINT* badArgument) {
    return dispatch_.Invoke(id, iid, flags, parameters, result, exception, badArgument);
}

HRESULT ComOutputDriver::Disable(VARIANT_BOOL* result) {
    return Guarded(IID__clsOutputDriver, Reach::PluginState, {result}, [&] { *result = driver_.Disable(); });
}

HRESULT ComOutputDriver::Enable(VARIANT_BOOL* result) {
    return Guarded(IID__clsOutputDriver, Reach::PluginState, {result}, [&] { *result = driver_.Enable(); });
}

HRESULT ComOutputDriver::PluginName(BSTR* result) {
    return Guarded(IID__clsOutputDriver, Reach::NothingShared, {result},
                   [&] { *result = AllocatedText(driver_.PluginName()); });
}

HRESULT ComOutputDriver::SetChannel(LONG* Channel, LONG* Value, VARIANT_BOOL* result) {
    return Guarded(IID__clsOutputDriver, Reach::PluginState, {Channel, Value, result}, [&] {
        std::int32_t channel = *Channel;
        std::int32_t value = *Value;
        *result = driver_.SetChannel(channel, value);
    });
}

HRESULT ComOutputDriver::Configure(VARIANT_BOOL* result) {
    return Guarded(IID__clsOutputDriver, Reach::NothingShared, {result},
                   [&] { *result = driver_.Configure(); });
}

HRESULT ComOutputDriver::init(BSTR* CallingAppTitle, BSTR* MyFilename, IDispatch** HostPluginHelper,
                              VARIANT_BOOL* result) {
    return Guarded(IID__clsOutputDriver, Reach::PluginState,
                   {CallingAppTitle, MyFilename, HostPluginHelper, result}, [&] {
                       std::string title = TextOf(CallingAppTitle);
                       std::string filename = TextOf(MyFilename);
                       std::unique_ptr<HostHelperReference> helper;
                       if (*HostPluginHelper) helper = std::make_unique<DispatchHelper>(*HostPluginHelper);
                       *result = driver_.init(title, filename, std::move(helper));
                   });
}

HRESULT ComOutputDriver::Term(VARIANT_BOOL* result) {
    return Guarded(IID__clsOutputDriver, Reach::PluginState, {result}, [&] { *result = driver_.Term(); });
}

HRESULT ComOutputDriver::SelectPort(LONG Port, VARIANT_BOOL* result) {
    return Guarded(IID_IVantorBridge, Reach::PluginState, {result},
                   [&] { *result = ToVBool(::SelectPort(TheModule().Plugin(), Port)); });
}

HRESULT ComOutputDriver::SetBridgeMode(VARIANT_BOOL Send) {
    return Guarded(IID_IVantorBridge, Reach::PluginState, {},
                   [&] { ::SetBridgeMode(TheModule().Plugin(), Send != VARIANT_FALSE); });
}

HRESULT ComOutputDriver::SetUniverse(LONG Universe) {
    return Guarded(IID_IVantorBridge, Reach::PluginState, {},
                   [&] { ::SetUniverse(TheModule().Plugin(), Universe); });
}

HRESULT ComOutputDriver::UpdateFirmware(BSTR Path, VARIANT_BOOL* result) {
    return Guarded(IID_IVantorBridge, Reach::PluginState, {result}, [&] {
        const std::string path = TextOf(&Path);
        if (path.empty()) throw std::invalid_argument("Missing argument: path");
        *result = ToVBool(::UpdateFirmware(TheModule().Plugin(), path));
    });
}

HRESULT ComOutputDriver::PortList(BSTR* result) {
    return Guarded(IID_IVantorBridge, Reach::PluginState, {result}, [&] {
        std::string lines;
        for (const std::string& item : ::PortList(TheModule().Plugin())) lines += item + "\n";
        *result = AllocatedText(lines);
    });
}

HRESULT ComOutputDriver::InterfaceSupportsErrorInfo(REFIID iid) {
    return iid == IID__clsOutputDriver || iid == IID_IVantorBridge || iid == IID_IVantorSacn ? S_OK : S_FALSE;
}
