#include "com_module.h"

#include "platform/win32/form1_window.h"
#include "platform/win32/own_module.h"
#include "vantor_out_com.h"

ComModule::ComModule()
    : plugin_([]() -> std::unique_ptr<ControlWindow> {
          // Once the window exists the DLL must stay: COM may unload it as soon as no object is alive.
          PinOwnModule();
          return std::make_unique<Form1Window>();
      }) {}

ITypeInfo* ComModule::DriverTypeInfo(HRESULT* failure) {
    if (typeInfo_) return typeInfo_;
    ITypeLib* library = nullptr;
    HRESULT result = LoadTypeLibEx(OwnModulePathW().c_str(), REGKIND_NONE, &library);
    if (SUCCEEDED(result)) {
        result = library->GetTypeInfoOfGuid(IID__clsOutputDriver, &typeInfo_);
        library->Release();
    }
    if (failure) *failure = result;
    return typeInfo_;
}

ComModule& TheModule() {
    // Never destroyed: the window and its timers live until the process ends, and nothing may be torn down
    // while the process exits around them.
    static ComModule* const module = new ComModule;
    return *module;
}
