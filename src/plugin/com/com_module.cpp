#include "com_module.h"

#include "platform/win32/form1_window.h"
#include "platform/win32/own_module.h"

ComModule::ComModule()
    : plugin_([]() -> std::unique_ptr<ControlWindow> {
          // Once the window exists the DLL must stay: COM may unload it as soon as no object is alive.
          PinOwnModule();
          return std::make_unique<Form1Window>();
      }) {}

ITypeInfo* ComModule::TypeInfo(std::atomic<ITypeInfo*>& held, REFIID iid, HRESULT* failure) {
    if (ITypeInfo* kept = held.load()) return kept;
    ITypeLib* library = nullptr;
    ITypeInfo* loaded = nullptr;
    HRESULT result = LoadTypeLibEx(OwnModulePathW().c_str(), REGKIND_NONE, &library);
    if (SUCCEEDED(result)) {
        result = library->GetTypeInfoOfGuid(iid, &loaded);
        library->Release();
    }
    if (failure) *failure = result;
    if (!loaded) return nullptr;
    // Two apartments may load it at once: one keeps its copy, the other's goes.
    ITypeInfo* expected = nullptr;
    if (!held.compare_exchange_strong(expected, loaded)) {
        loaded->Release();
        return expected;
    }
    return loaded;
}

HRESULT ComModule::AdmitCall(bool claim) {
    const DWORD self = GetCurrentThreadId();
    DWORD owner = owner_.load();
    if (owner == self) return S_OK;
    if (owner == 0 && (!claim || owner_.compare_exchange_strong(owner, self))) return S_OK;
    return RPC_E_WRONG_THREAD;
}

ComModule& TheModule() {
    // Never destroyed: the window and its timers live until the process ends, and nothing may be torn down
    // while the process exits around them.
    static ComModule* const module = new ComModule;
    return *module;
}
