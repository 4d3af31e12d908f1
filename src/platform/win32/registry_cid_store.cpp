#include "platform/win32/registry_cid_store.h"

#include <cwchar>

#include "platform/win32/text.h"
#include "platform/win32/win32_headers.h"

namespace {

constexpr const wchar_t* kKey = L"Software\\VantorDMX\\sACN";
constexpr const wchar_t* kValue = L"CID";

}  // namespace

std::string RegistryCidStore::Load() {
    DWORD bytes = 0;
    LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, kKey, kValue, RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
    std::wstring text;
    if (status == ERROR_SUCCESS) {
        text.resize(bytes / sizeof(wchar_t) + 1);
        bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        status = RegGetValueW(HKEY_CURRENT_USER, kKey, kValue, RRF_RT_REG_SZ, nullptr, text.data(), &bytes);
    }
    if (status == ERROR_FILE_NOT_FOUND) return {};
    if (status != ERROR_SUCCESS) throw CidStoreError(SystemErrorText(static_cast<unsigned long>(status)));
    text.resize(wcsnlen(text.c_str(), text.size()));
    return Narrow(text);
}

void RegistryCidStore::Save(const std::string& text) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        const std::wstring wide = Widen(text);
        status = RegSetValueExW(key, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                                static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) throw CidStoreError(SystemErrorText(static_cast<unsigned long>(status)));
}

std::string RegistryCidStore::Where() const {
    return "HKEY_CURRENT_USER\\Software\\VantorDMX\\sACN\\CID";
}
