#include "registration.h"

#include <string>

#include "platform/win32/own_module.h"
#include "vantor_out_com.h"

// In oleaut32 since Windows Vista; the cross headers do not declare them.
extern "C" {
HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* path, OLECHAR* helpFolder);
HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID library, WORD major, WORD minor, LCID locale, SYSKIND kind);
}

namespace {

constexpr WORD kTypeLibMajor = 2;
constexpr WORD kTypeLibMinor = 0;

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

struct RegistryRoot {
    HKEY key;
    std::wstring prefix;  // of every key written under it
};

RegistryRoot RootOf(RegistrationScope scope) {
    if (scope == RegistrationScope::User) return {HKEY_CURRENT_USER, L"Software\\Classes\\"};
    return {HKEY_CLASSES_ROOT, L""};
}

// Sets a key's value (the default value when name is null), creating the key.
LSTATUS SetValue(const RegistryRoot& root, const std::wstring& key, const wchar_t* name,
                 const std::wstring& value) {
    HKEY opened = nullptr;
    LSTATUS status = RegCreateKeyExW(root.key, (root.prefix + key).c_str(), 0, nullptr,
                                     REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &opened, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(opened);
    return status;
}

LSTATUS DeleteTree(const RegistryRoot& root, const std::wstring& key) {
    const LSTATUS status = RegDeleteTreeW(root.key, (root.prefix + key).c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

SYSKIND OwnSysKind() {
    return sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
}

}  // namespace

HRESULT RegisterComponent(RegistrationScope scope) {
    const std::wstring path = OwnModulePathW();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    ITypeLib* library = nullptr;
    HRESULT result = LoadTypeLibEx(
        path.c_str(), scope == RegistrationScope::Machine ? REGKIND_REGISTER : REGKIND_NONE, &library);
    if (FAILED(result)) return result;
    if (scope == RegistrationScope::User)
        result = RegisterTypeLibForUser(library, const_cast<LPOLESTR>(path.c_str()), nullptr);
    library->Release();
    if (FAILED(result)) return result;

    const RegistryRoot root = RootOf(scope);
    const std::wstring clsid = GuidText(CLSID_clsOutputDriver);
    const std::wstring classKey = L"CLSID\\" + clsid;
    const std::wstring progId = VANTOR_PROGID_W;
    const std::wstring version = std::to_wstring(kTypeLibMajor) + L"." + std::to_wstring(kTypeLibMinor);
    const struct {
        std::wstring key;
        const wchar_t* name;
        std::wstring value;
    } entries[] = {
        {progId, nullptr, VANTOR_CLASS_NAME_W},
        {progId + L"\\CLSID", nullptr, clsid},
        {classKey, nullptr, VANTOR_CLASS_NAME_W},
        {classKey + L"\\ProgID", nullptr, progId},
        {classKey + L"\\InprocServer32", nullptr, path},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {classKey + L"\\TypeLib", nullptr, GuidText(LIBID_Zandorvex)},
        {classKey + L"\\Version", nullptr, version},
        {classKey + L"\\Programmable", nullptr, L""},
    };
    for (const auto& entry : entries) {
        const LSTATUS status = SetValue(root, entry.key, entry.name, entry.value);
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    }
    return S_OK;
}

HRESULT UnregisterComponent(RegistrationScope scope) {
    const RegistryRoot root = RootOf(scope);
    LSTATUS status = DeleteTree(root, VANTOR_PROGID_W);
    if (status == ERROR_SUCCESS) status = DeleteTree(root, L"CLSID\\" + GuidText(CLSID_clsOutputDriver));
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    const HRESULT result =
        scope == RegistrationScope::Machine
            ? UnRegisterTypeLib(LIBID_Zandorvex, kTypeLibMajor, kTypeLibMinor, LOCALE_NEUTRAL, OwnSysKind())
            : UnRegisterTypeLibForUser(LIBID_Zandorvex, kTypeLibMajor, kTypeLibMinor, LOCALE_NEUTRAL,
                                       OwnSysKind());
    // A type library that is not registered is as good as removed.
    if (result == TYPE_E_REGISTRYACCESS || result == TYPE_E_LIBNOTREGISTERED) return S_OK;
    return result;
}
