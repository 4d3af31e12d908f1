// The DLL's entry points, as regsvr32 and COM call them.

#include "platform/win32/win32_headers.h"

#include <cwchar>

#include "class_factory.h"
#include "com_module.h"
#include "registration.h"
#include "vantor_out_com.h"

extern "C" {

HRESULT STDAPICALLTYPE DllRegisterServer() {
    return RegisterComponent(RegistrationScope::Machine);
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return UnregisterComponent(RegistrationScope::Machine);
}

// "regsvr32 /n /i:user" registers for the current user only; "/u /n /i:user" removes that.
HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR commandLine) {
    if (!commandLine || _wcsicmp(commandLine, L"user") != 0) return E_INVALIDARG;
    return install ? RegisterComponent(RegistrationScope::User)
                   : UnregisterComponent(RegistrationScope::User);
}

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID classId, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (classId != CLSID_clsOutputDriver) return CLASS_E_CLASSNOTAVAILABLE;
    return ClassFactory::Create(iid, object);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return TheModule().Plugin().CanUnload() ? S_OK : S_FALSE;
}

}  // extern "C"
