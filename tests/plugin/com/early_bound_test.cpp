// An early-bound client: it calls the component through the vtable slots of its interfaces, as a compiled
// host does, and watches the DLL's unload test around an object's life.

#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <string>

#include "vantor_out_com.h"

namespace {

using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
// Run-time error 6, as an automation host sees it.
constexpr HRESULT kOverflow = static_cast<HRESULT>(0x800A0006);

// The registered component, created through COM in this thread's apartment.
class EarlyBound : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_clsOutputDriver, nullptr, CLSCTX_INPROC_SERVER,
                                                  IID__clsOutputDriver, reinterpret_cast<void**>(&driver)));
    }
    void TearDown() override {
        if (driver) driver->Release();
        CoUninitialize();
    }

    VARIANT_BOOL SetChannel(LONG channel, LONG value, HRESULT& result) {
        VARIANT_BOOL stored = 1;  // neither True nor False, so that "left alone" shows
        result = driver->SetChannel(&channel, &value, &stored);
        return stored;
    }

    _clsOutputDriver* driver = nullptr;
};

// The helper a host hands to init; it only counts references.
class CountingHelper final : public IDispatch {
public:
    ULONG references = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid != IID_IUnknown && iid != IID_IDispatch) return E_NOINTERFACE;
        *object = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
};

std::wstring ErrorDescription() {
    IErrorInfo* error = nullptr;
    if (GetErrorInfo(0, &error) != S_OK || !error) return L"(no error object)";
    BSTR text = nullptr;
    error->GetDescription(&text);
    std::wstring description = text ? text : L"";
    SysFreeString(text);
    error->Release();
    return description;
}

TEST_F(EarlyBound, PluginNameAndTheConstantAnswers) {
    BSTR name = nullptr;
    ASSERT_HRESULT_SUCCEEDED(driver->PluginName(&name));
    EXPECT_STREQ(name, L"Vantor Driver");
    SysFreeString(name);
    VARIANT_BOOL result = 1;
    ASSERT_HRESULT_SUCCEEDED(driver->Configure(&result));
    EXPECT_EQ(result, VARIANT_FALSE);
    ASSERT_HRESULT_SUCCEEDED(driver->Enable(&result));
    EXPECT_EQ(result, VARIANT_TRUE);
    ASSERT_HRESULT_SUCCEEDED(driver->Disable(&result));
    EXPECT_EQ(result, VARIANT_TRUE);
    ASSERT_HRESULT_SUCCEEDED(driver->Term(&result));
    EXPECT_EQ(result, VARIANT_FALSE);
}

TEST_F(EarlyBound, SetChannelAcceptsChannels1To512AndLevels0To255) {
    const struct {
        LONG channel, value;
        HRESULT status;
        VARIANT_BOOL stored;
    } rows[] = {
        {0, 10, S_OK, VARIANT_FALSE},   {1, 10, S_OK, VARIANT_TRUE},  {512, 10, S_OK, VARIANT_TRUE},
        {513, 10, S_OK, VARIANT_FALSE}, {5, 255, S_OK, VARIANT_TRUE}, {5, 0, S_OK, VARIANT_TRUE},
        {5, 256, kOverflow, 1},         {5, -1, kOverflow, 1},        {0, 256, S_OK, VARIANT_FALSE},
    };
    for (const auto& row : rows) {
        HRESULT status = E_FAIL;
        const VARIANT_BOOL stored = SetChannel(row.channel, row.value, status);
        EXPECT_EQ(status, row.status) << row.channel << ", " << row.value;
        EXPECT_EQ(stored, row.stored) << row.channel << ", " << row.value;
        if (status == kOverflow) {
            EXPECT_EQ(ErrorDescription(), L"Overflow");
        }
    }
}

TEST_F(EarlyBound, FailuresCarryErrorObjectsForBothInterfaces) {
    ISupportErrorInfo* support = nullptr;
    ASSERT_HRESULT_SUCCEEDED(
        driver->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)));
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID__clsOutputDriver), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IVantorBridge), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IClassFactory), S_FALSE);
    support->Release();
    IVantorBridge* bridge = nullptr;
    ASSERT_HRESULT_SUCCEEDED(driver->QueryInterface(IID_IVantorBridge, reinterpret_cast<void**>(&bridge)));
    EXPECT_EQ(bridge->SetUniverse(256), E_FAIL);
    EXPECT_EQ(ErrorDescription(), L"Universe 256 is outside 0 to 255");
    VARIANT_BOOL opened = VARIANT_TRUE;
    EXPECT_EQ(bridge->SelectPort(17, &opened), E_FAIL);
    EXPECT_EQ(opened, VARIANT_TRUE) << "left alone";
    EXPECT_EQ(ErrorDescription(), L"Port 17 is outside 1 to 16");
    bridge->Release();
}

TEST_F(EarlyBound, InitHoldsTheHelperUntilTermAndASecondInitSwapsIt) {
    CountingHelper first, second;
    BSTR title = SysAllocString(L"early-bound client");
    BSTR file = SysAllocString(L"vantor.out.dll");
    IDispatch* helper = &first;
    VARIANT_BOOL result = VARIANT_TRUE;
    ASSERT_HRESULT_SUCCEEDED(driver->init(&title, &file, &helper, &result));
    EXPECT_EQ(result, VARIANT_FALSE);
    EXPECT_EQ(first.references, 2u);
    helper = &second;
    ASSERT_HRESULT_SUCCEEDED(driver->init(&title, &file, &helper, &result));
    EXPECT_EQ(first.references, 1u);
    EXPECT_EQ(second.references, 2u);
    ASSERT_HRESULT_SUCCEEDED(driver->Term(&result));
    EXPECT_EQ(result, VARIANT_FALSE);
    EXPECT_EQ(second.references, 1u);
    SysFreeString(title);
    SysFreeString(file);
}

TEST_F(EarlyBound, InitShowsATopLevelWindowOfItsOwnOnThisThreadUnlessHeadless) {
    BSTR title = SysAllocString(L"early-bound client");
    BSTR file = SysAllocString(L"vantor.out.dll");
    IDispatch* helper = nullptr;
    VARIANT_BOOL result = VARIANT_TRUE;
    // Headless only around init: a message box shown meanwhile would wait for a person.
    SetEnvironmentVariableW(L"VANTOR_HEADLESS", L"0");
    const HRESULT initialised = driver->init(&title, &file, &helper, &result);
    SetEnvironmentVariableW(L"VANTOR_HEADLESS", L"1");
    ASSERT_HRESULT_SUCCEEDED(initialised);
    const HWND window = FindWindowW(L"VantorForm1", L"Vantor DMX Output");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
    EXPECT_EQ(GetParent(window), nullptr);
    EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
    // Closing it hides it; the window, its timers and its port live on.
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsWindowVisible(window));
    SysFreeString(title);
    SysFreeString(file);
}

TEST_F(EarlyBound, DispatchFollowsTheDeclaredNamesAndIds) {
    const struct {
        const wchar_t* name;
        DISPID id;
    } rows[] = {{L"Disable", 0x60030000},    {L"Enable", 0x60030001},    {L"PluginName", 0x60030002},
                {L"SetChannel", 0x60030003}, {L"Configure", 0x60030004}, {L"init", 0x60030005},
                {L"Term", 0x60030006}};
    for (const auto& row : rows) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(row.name)};
        DISPID id = 0;
        ASSERT_HRESULT_SUCCEEDED(driver->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
        EXPECT_EQ(id, row.id);
    }
    ITypeInfo* info = nullptr;
    ASSERT_HRESULT_SUCCEEDED(driver->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info));
    TYPEATTR* attributes = nullptr;
    ASSERT_HRESULT_SUCCEEDED(info->GetTypeAttr(&attributes));
    EXPECT_TRUE(IsEqualGUID(attributes->guid, IID__clsOutputDriver));
    constexpr WORD kDispatchFlags = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE;
    EXPECT_EQ(attributes->wTypeFlags & kDispatchFlags, kDispatchFlags);
    info->ReleaseTypeAttr(attributes);
    // The vtable side of the dual interface is the automation-compatible one.
    HREFTYPE vtableSide = 0;
    ITypeInfo* vtable = nullptr;
    ASSERT_HRESULT_SUCCEEDED(info->GetRefTypeOfImplType(-1, &vtableSide));
    ASSERT_HRESULT_SUCCEEDED(info->GetRefTypeInfo(vtableSide, &vtable));
    ASSERT_HRESULT_SUCCEEDED(vtable->GetTypeAttr(&attributes));
    EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
    EXPECT_EQ(attributes->wTypeFlags & TYPEFLAG_FOLEAUTOMATION, TYPEFLAG_FOLEAUTOMATION);
    EXPECT_EQ(attributes->cFuncs, 7);
    vtable->ReleaseTypeAttr(attributes);
    vtable->Release();
    info->Release();
}

TEST(Unload, CanUnloadNowBeforeDuringAndAfterAnObjectsLifeAndUnderALock) {
    ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    const HMODULE library = LoadLibraryW(L"vantor.out.dll");
    ASSERT_NE(library, nullptr);
    const auto canUnload =
        reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), S_OK) << "before";
    IClassFactory* factory = nullptr;
    ASSERT_HRESULT_SUCCEEDED(CoGetClassObject(CLSID_clsOutputDriver, CLSCTX_INPROC_SERVER, nullptr,
                                              IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(canUnload(), S_OK) << "a class factory alone does not hold the DLL";
    IUnknown* object = nullptr;
    ASSERT_HRESULT_SUCCEEDED(
        factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)));
    ASSERT_HRESULT_SUCCEEDED(factory->LockServer(TRUE));
    factory->Release();
    EXPECT_EQ(canUnload(), S_FALSE) << "during";
    object->Release();
    EXPECT_EQ(canUnload(), S_FALSE) << "under a lock";
    IClassFactory* again = nullptr;
    ASSERT_HRESULT_SUCCEEDED(CoGetClassObject(CLSID_clsOutputDriver, CLSCTX_INPROC_SERVER, nullptr,
                                              IID_IClassFactory, reinterpret_cast<void**>(&again)));
    EXPECT_HRESULT_SUCCEEDED(again->LockServer(FALSE));
    EXPECT_EQ(again->LockServer(FALSE), E_UNEXPECTED) << "an unlock without a lock";
    again->Release();
    EXPECT_EQ(canUnload(), S_OK) << "after";
    FreeLibrary(library);
    CoUninitialize();
}

TEST(Unload, AnUnknownClassOrInterfaceIsRefused) {
    const HMODULE library = LoadLibraryW(L"vantor.out.dll");
    ASSERT_NE(library, nullptr);
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    ASSERT_NE(getClassObject, nullptr);
    void* object = &object;
    EXPECT_EQ(getClassObject(IID__clsOutputDriver, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(getClassObject(CLSID_clsOutputDriver, IID_IDispatch, &object), E_NOINTERFACE);
    FreeLibrary(library);
}

}  // namespace
