#include "automation.h"

#include <algorithm>

namespace {

std::string Narrow(const wchar_t* text) {
    if (!text) return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(std::max(length - 1, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

std::string HresultText(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(result));
    return text;
}

}  // namespace

void Check(HRESULT result, const std::string& what) {
    if (SUCCEEDED(result)) return;
    std::string description;
    IErrorInfo* error = nullptr;
    if (GetErrorInfo(0, &error) == S_OK && error) {
        BSTR text = nullptr;
        if (SUCCEEDED(error->GetDescription(&text))) description = Narrow(text);
        SysFreeString(text);
        error->Release();
    }
    throw HostFailure(what + " failed (" + HresultText(result) + ")" +
                      (description.empty() ? "" : ": " + description));
}

VARIANT CallByName(IDispatch& object, const wchar_t* name, std::vector<VARIANTARG> arguments) {
    const std::string what = Narrow(name);
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    Check(object.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), what);
    // Invoke takes the arguments last first.
    std::reverse(arguments.begin(), arguments.end());
    DISPPARAMS parameters{arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    const HRESULT invoked = object.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters,
                                          &result, &exception, nullptr);
    if (invoked == DISP_E_EXCEPTION) {
        const std::string description = Narrow(exception.bstrDescription);
        const HRESULT code = exception.scode ? exception.scode : invoked;
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
        throw HostFailure(what + " failed (" + HresultText(code) + "): " + description);
    }
    Check(invoked, what);
    return result;
}

HRESULT HostHelper::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IDispatch) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

HRESULT HostHelper::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}
