#include "com_output_driver.h"

#include <initializer_list>
#include <stdexcept>
#include <utility>
#include <vector>

#include "com_module.h"
#include "com_status.h"
#include "platform/win32/text.h"
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

// Which calls make their thread the owner of the plug-in's state when it has none yet.
enum class Reach { PluginState, NothingShared };

// A refusal leaves no error object of an earlier failure for the caller's GetErrorInfo to find.
HRESULT Refused(HRESULT code) {
    SetErrorInfo(0, nullptr);
    return code;
}

// Runs one method. A call from another thread than the plug-in's, or with an out parameter missing, is
// refused before anything runs: it allocates nothing and changes nothing.
template <typename Action>
HRESULT Guarded(REFIID iid, Reach reach, std::initializer_list<const void*> outs, Action&& action) {
    const HRESULT admitted = TheModule().AdmitCall(reach == Reach::PluginState);
    if (FAILED(admitted)) return Refused(admitted);
    for (const void* out : outs)
        if (!out) return Refused(E_POINTER);
    return ComGuarded(iid, std::forward<Action>(action));
}

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

BSTR AllocatedText(const std::string& text) {
    const std::wstring wide = Widen(text);
    BSTR made = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!made) throw std::bad_alloc();
    return made;
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
    if (const HRESULT admitted = TheModule().AdmitCall(false); FAILED(admitted)) return admitted;
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT ComOutputDriver::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (const HRESULT admitted = TheModule().AdmitCall(false); FAILED(admitted)) return admitted;
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    HRESULT failure = S_OK;
    ITypeInfo* typeInfo = TheModule().DriverTypeInfo(&failure);
    if (!typeInfo) return failure;
    typeInfo->AddRef();
    *info = typeInfo;
    return S_OK;
}

HRESULT ComOutputDriver::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (const HRESULT admitted = TheModule().AdmitCall(false); FAILED(admitted)) return admitted;
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_POINTER;
    HRESULT failure = S_OK;
    ITypeInfo* typeInfo = TheModule().DriverTypeInfo(&failure);
    if (!typeInfo) return failure;
    return DispGetIDsOfNames(typeInfo, names, count, ids);
}

HRESULT ComOutputDriver::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* parameters,
                                VARIANT* result, EXCEPINFO* exception, UINT* badArgument) {
    // The methods refuse a foreign thread themselves, but nothing of the call may run before that either.
    if (const HRESULT admitted = TheModule().AdmitCall(false); FAILED(admitted)) return admitted;
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    HRESULT failure = S_OK;
    ITypeInfo* typeInfo = TheModule().DriverTypeInfo(&failure);
    if (!typeInfo) return failure;
    if (!parameters) return E_INVALIDARG;
    std::vector<VARIANTARG> arguments = UnwrappedArguments(*parameters);
    DISPPARAMS unwrapped = *parameters;
    unwrapped.rgvarg = arguments.data();
    // A caller that wants no result is still handed none to leak.
    VARIANT unused;
    VariantInit(&unused);
    // A failing method's error object becomes the EXCEPINFO, so a script sees its number and description.
    const HRESULT invoked = DispInvoke(static_cast<_clsOutputDriver*>(this), typeInfo, id, flags, &unwrapped,
                                       result ? result : &unused, exception, badArgument);
    VariantClear(&unused);
    return invoked;
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
    return iid == IID__clsOutputDriver || iid == IID_IVantorBridge ? S_OK : S_FALSE;
}
