// An early-bound client: it calls the component through the vtable slots of its interfaces, as a compiled
// host does, checks those slots against the registered type library, and watches the DLL's unload test
// around an object's life.

#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

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

std::string TypeName(const TYPEDESC& type) {
    switch (type.vt) {
        case VT_PTR:
            return TypeName(*type.lptdesc) + "*";
        case VT_HRESULT:
            return "HRESULT";
        case VT_BOOL:
            return "VARIANT_BOOL";
        case VT_BSTR:
            return "BSTR";
        case VT_I4:
            return "long";
        case VT_DISPATCH:
            return "IDispatch*";
        default:
            return "vt" + std::to_string(type.vt);
    }
}

std::string Narrowed(const BSTR text) {
    std::string narrow;
    for (const wchar_t* c = text; c && *c; ++c) narrow += static_cast<char>(*c);
    return narrow;
}

// A method as its IDL declares it, from its description in a type library: parameter flags, types and names.
std::string Signature(ITypeInfo& info, const FUNCDESC& function) {
    BSTR names[16] = {};
    UINT named = 0;
    info.GetNames(function.memid, names, 16, &named);
    std::string text = TypeName(function.elemdescFunc.tdesc) + " " + Narrowed(names[0]) + "(";
    for (SHORT index = 0; index < function.cParams; ++index) {
        const ELEMDESC& parameter = function.lprgelemdescParam[index];
        const USHORT flags = parameter.paramdesc.wParamFlags;
        std::string marks;
        if (flags & PARAMFLAG_FIN) marks += ", in";
        if (flags & PARAMFLAG_FOUT) marks += ", out";
        if (flags & PARAMFLAG_FRETVAL) marks += ", retval";
        if (flags & ~(PARAMFLAG_FIN | PARAMFLAG_FOUT | PARAMFLAG_FRETVAL)) marks += ", other";
        if (index) text += ", ";
        if (!marks.empty()) text += "[" + marks.substr(2) + "] ";
        text += TypeName(parameter.tdesc) + " " + (index + 1u < named ? Narrowed(names[index + 1]) : "?");
    }
    for (BSTR name : names) SysFreeString(name);
    return text + ")";
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

// Counts the task allocator's blocks (BSTRs among them) allocated and not yet freed since its registration.
// Never revoked: COM goes on calling a spy until every block allocated under it is freed, and wine's fails on
// the last of them. So this thread keeps one COM initialisation, as the last CoUninitialize revokes the spy.
class HeldBlocks final : public IMallocSpy {
public:
    // The spy, registered on first use.
    static const HeldBlocks& Spy() {
        static HeldBlocks* const spy = new HeldBlocks;
        return *spy;
    }
    static long Now() { return Spy().held_; }
    bool Registered() const { return registered_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid != IID_IUnknown && iid != IID_IMallocSpy) return E_NOINTERFACE;
        *object = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override {
        ++held_;
        return size;
    }
    void* STDMETHODCALLTYPE PostAlloc(void* block) override { return block; }
    void* STDMETHODCALLTYPE PreFree(void* block, BOOL counted) override {
        if (block && counted) --held_;
        return block;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T size, void** moved, BOOL) override {
        *moved = block;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override { return block; }
    void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int allocated) override { return allocated; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

private:
    HeldBlocks() {
        registered_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) &&
                      SUCCEEDED(CoRegisterMallocSpy(this));
        // Wine's list of blocks allocated under a spy exists from the first such block on; looking up an
        // earlier block before that fails.
        if (registered_) CoTaskMemAlloc(1);
        held_ = 0;
    }
    bool registered_ = false;
    long held_ = 0;
};

// What every call is handed: values that no method writes, so that a write shows.
void* const kUnwritten = reinterpret_cast<void*>(std::uintptr_t{0x5A50});

struct Arguments {
    LONG channel = 5, value = 300;
    VARIANT_BOOL flag = 1;
    BSTR text = static_cast<BSTR>(kUnwritten);
    BSTR title = SysAllocString(L"early-bound client");
    BSTR file = SysAllocString(L"vantor.out.dll");
    CountingHelper offered;
    IDispatch* helper = &offered;
    UINT count = 77;
    ITypeInfo* info = static_cast<ITypeInfo*>(kUnwritten);
    LPOLESTR names[1] = {const_cast<LPOLESTR>(L"PluginName")};
    DISPID id = 77;
    VARIANT answer = Answer();
    ~Arguments() {
        SysFreeString(title);
        SysFreeString(file);
    }
    bool Untouched() const {
        return channel == 5 && value == 300 && flag == 1 && text == kUnwritten && helper == &offered &&
               offered.references == 1 && count == 77 && info == kUnwritten && id == 77 &&
               V_VT(&answer) == VT_I4 && V_I4(&answer) == 77;
    }
    static VARIANT Answer() {
        VARIANT answer;
        V_VT(&answer) = VT_I4;
        V_I4(&answer) = 77;
        return answer;
    }
};

BOOL CALLBACK CountWindow(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

DWORD WINAPI RunFunction(void* function) {
    (*static_cast<const std::function<void()>*>(function))();
    return 0;
}

// Runs the function on a thread of its own while this one handles its messages; false after the time limit.
bool RunPumping(const std::function<void()>& function, DWORD limitMs) {
    const HANDLE thread =
        CreateThread(nullptr, 0, RunFunction, const_cast<std::function<void()>*>(&function), 0, nullptr);
    if (!thread) {
        ADD_FAILURE() << "no thread";
        return false;
    }
    const ULONGLONG end = GetTickCount64() + limitMs;
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        const DWORD woke =
            MsgWaitForMultipleObjects(1, &thread, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) {
            CloseHandle(thread);
            return true;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    // It would go on using this test's data.
    TerminateThread(thread, 1);
    CloseHandle(thread);
    ADD_FAILURE() << "the other thread's calls did not return";
    return false;
}

struct Call {
    const char* what;
    std::function<HRESULT(_clsOutputDriver&, IVantorBridge&, Arguments&)> run;
};

TEST_F(EarlyBound, AMissingOutParameterIsEPointerAndAllocatesOrChangesNothing) {
    IVantorBridge* bridge = nullptr;
    ASSERT_HRESULT_SUCCEEDED(driver->QueryInterface(IID_IVantorBridge, reinterpret_cast<void**>(&bridge)));
    using D = _clsOutputDriver&;
    using B = IVantorBridge&;
    using A = Arguments&;
    const Call rows[] = {
        {"Disable", [](D d, B, A) { return d.Disable(nullptr); }},
        {"Enable", [](D d, B, A) { return d.Enable(nullptr); }},
        {"PluginName", [](D d, B, A) { return d.PluginName(nullptr); }},
        {"SetChannel Channel", [](D d, B, A a) { return d.SetChannel(nullptr, &a.value, &a.flag); }},
        {"SetChannel Value", [](D d, B, A a) { return d.SetChannel(&a.channel, nullptr, &a.flag); }},
        {"SetChannel result", [](D d, B, A a) { return d.SetChannel(&a.channel, &a.value, nullptr); }},
        {"Configure", [](D d, B, A) { return d.Configure(nullptr); }},
        {"init CallingAppTitle", [](D d, B, A a) { return d.init(nullptr, &a.file, &a.helper, &a.flag); }},
        {"init MyFilename", [](D d, B, A a) { return d.init(&a.title, nullptr, &a.helper, &a.flag); }},
        {"init HostPluginHelper", [](D d, B, A a) { return d.init(&a.title, &a.file, nullptr, &a.flag); }},
        {"init result", [](D d, B, A a) { return d.init(&a.title, &a.file, &a.helper, nullptr); }},
        {"Term", [](D d, B, A) { return d.Term(nullptr); }},
        {"SelectPort", [](D, B b, A) { return b.SelectPort(17, nullptr); }},
        {"UpdateFirmware", [](D, B b, A a) { return b.UpdateFirmware(a.file, nullptr); }},
        {"PortList", [](D, B b, A) { return b.PortList(nullptr); }},
        {"GetTypeInfoCount", [](D d, B, A) { return d.GetTypeInfoCount(nullptr); }},
        {"GetTypeInfo", [](D d, B, A) { return d.GetTypeInfo(0, LOCALE_USER_DEFAULT, nullptr); }},
        {"GetIDsOfNames",
         [](D d, B, A a) { return d.GetIDsOfNames(IID_NULL, a.names, 1, LOCALE_USER_DEFAULT, nullptr); }},
    };
    ASSERT_TRUE(HeldBlocks::Spy().Registered());
    for (const Call& row : rows) {
        Arguments arguments;
        SetErrorInfo(0, nullptr);
        const long held = HeldBlocks::Now();
        EXPECT_EQ(row.run(*driver, *bridge, arguments), E_POINTER) << row.what;
        EXPECT_EQ(HeldBlocks::Now(), held) << row.what;
        EXPECT_TRUE(arguments.Untouched()) << row.what;
    }
    // Through IDispatch a caller may want no result: PluginName's string is not left behind either. The
    // first call loads the type information that the component keeps.
    DISPPARAMS none = {};
    for (int call = 0; call < 2; ++call) {
        const long held = HeldBlocks::Now();
        EXPECT_HRESULT_SUCCEEDED(driver->Invoke(0x60030002, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                                &none, nullptr, nullptr, nullptr));
        if (call == 1) {
            EXPECT_EQ(HeldBlocks::Now(), held) << "Invoke PluginName";
        }
    }
    bridge->Release();
}

// The plug-in, its window and timers belong to the thread that made the window, this one. Another thread is
// refused on its own object as on this thread's, and nothing runs: no window of its own, nothing written, the
// helper held by this thread's init kept, and a second helper not taken.
TEST_F(EarlyBound, AnotherThreadIsRefusedOnEveryObjectAndTouchesNothing) {
    CountingHelper held;
    BSTR title = SysAllocString(L"early-bound client");
    BSTR file = SysAllocString(L"vantor.out.dll");
    IDispatch* helper = &held;
    VARIANT_BOOL result = VARIANT_TRUE;
    ASSERT_HRESULT_SUCCEEDED(driver->init(&title, &file, &helper, &result));
    using D = _clsOutputDriver&;
    using B = IVantorBridge&;
    using A = Arguments&;
    const Call rows[] = {
        {"Disable", [](D d, B, A a) { return d.Disable(&a.flag); }},
        {"Enable", [](D d, B, A a) { return d.Enable(&a.flag); }},
        {"PluginName", [](D d, B, A a) { return d.PluginName(&a.text); }},
        {"SetChannel", [](D d, B, A a) { return d.SetChannel(&a.channel, &a.value, &a.flag); }},
        {"Configure", [](D d, B, A a) { return d.Configure(&a.flag); }},
        {"init", [](D d, B, A a) { return d.init(&a.title, &a.file, &a.helper, &a.flag); }},
        {"Term", [](D d, B, A a) { return d.Term(&a.flag); }},
        {"SelectPort", [](D, B b, A a) { return b.SelectPort(1, &a.flag); }},
        {"SetBridgeMode", [](D, B b, A) { return b.SetBridgeMode(VARIANT_FALSE); }},
        {"SetUniverse", [](D, B b, A) { return b.SetUniverse(3); }},
        {"UpdateFirmware", [](D, B b, A a) { return b.UpdateFirmware(a.file, &a.flag); }},
        {"PortList", [](D, B b, A a) { return b.PortList(&a.text); }},
        {"GetTypeInfoCount", [](D d, B, A a) { return d.GetTypeInfoCount(&a.count); }},
        {"GetTypeInfo", [](D d, B, A a) { return d.GetTypeInfo(0, LOCALE_USER_DEFAULT, &a.info); }},
        {"GetIDsOfNames",
         [](D d, B, A a) { return d.GetIDsOfNames(IID_NULL, a.names, 1, LOCALE_USER_DEFAULT, &a.id); }},
        {"Invoke",
         [](D d, B, A a) {
             DISPPARAMS none = {};
             return d.Invoke(0x60030002, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &a.answer,
                             nullptr, nullptr);
         }},
    };
    std::vector<std::string> faults;
    const std::function<void()> other = [&] {
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
            faults.push_back("no apartment");
            return;
        }
        _clsOutputDriver* own = nullptr;
        if (FAILED(CoCreateInstance(CLSID_clsOutputDriver, nullptr, CLSCTX_INPROC_SERVER,
                                    IID__clsOutputDriver, reinterpret_cast<void**>(&own)))) {
            faults.push_back("no object of its own");
        } else {
            // The other thread's own object, and this thread's called straight (not through a proxy).
            for (_clsOutputDriver* object : {own, driver}) {
                const std::string whose = object == own ? "own object: " : "first thread's object: ";
                IVantorBridge* bridge = nullptr;
                object->QueryInterface(IID_IVantorBridge, reinterpret_cast<void**>(&bridge));
                for (const Call& row : rows) {
                    Arguments arguments;
                    const HRESULT refused = row.run(*object, *bridge, arguments);
                    if (refused != RPC_E_WRONG_THREAD)
                        faults.push_back(whose + row.what + " returned " + std::to_string(refused));
                    if (!arguments.Untouched()) faults.push_back(whose + row.what + " wrote an argument");
                }
                bridge->Release();
            }
            own->Release();
        }
        int windows = 0;
        EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&windows));
        if (windows) faults.push_back("a window was made on the other thread");
        CoUninitialize();
    };
    // This thread goes on serving its window meanwhile, so that a call let through fails the test rather than
    // waiting for this thread for ever.
    if (!RunPumping(other, 20000)) return;
    for (const std::string& fault : faults) ADD_FAILURE() << fault;
    EXPECT_EQ(held.references, 2u) << "the other thread's Term released this thread's helper";
    ASSERT_HRESULT_SUCCEEDED(driver->Term(&result));
    EXPECT_EQ(held.references, 1u);
    SysFreeString(title);
    SysFreeString(file);
}

// The interfaces as a compiled host was built against them, written out here rather than read from the
// generated header: each method's vtable slot, dispatch id and signature, from the registered type library.
TEST(Layout, TheRegisteredInterfacesKeepTheirSlotsAndSignatures) {
    const struct {
        short slot;  // counted from the first of IUnknown
        MEMBERID id;
        const char* signature;
    } rows[] = {
        {7, 0x60030000, "HRESULT Disable([out, retval] VARIANT_BOOL* result)"},
        {8, 0x60030001, "HRESULT Enable([out, retval] VARIANT_BOOL* result)"},
        {9, 0x60030002, "HRESULT PluginName([out, retval] BSTR* result)"},
        {10, 0x60030003,
         "HRESULT SetChannel([in, out] long* Channel, [in, out] long* Value, [out, retval] VARIANT_BOOL* "
         "result)"},
        {11, 0x60030004, "HRESULT Configure([out, retval] VARIANT_BOOL* result)"},
        {12, 0x60030005,
         "HRESULT init([in, out] BSTR* CallingAppTitle, [in, out] BSTR* MyFilename, [in, out] IDispatch** "
         "HostPluginHelper, [out, retval] VARIANT_BOOL* result)"},
        {13, 0x60030006, "HRESULT Term([out, retval] VARIANT_BOOL* result)"},
    };
    ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    ITypeLib* library = nullptr;
    ASSERT_HRESULT_SUCCEEDED(LoadRegTypeLib(LIBID_Zandorvex, 2, 0, LOCALE_NEUTRAL, &library));
    ITypeInfo* dispatch = nullptr;
    ASSERT_HRESULT_SUCCEEDED(library->GetTypeInfoOfGuid(IID__clsOutputDriver, &dispatch));
    HREFTYPE vtableSide = 0;
    ITypeInfo* vtable = nullptr;
    ASSERT_HRESULT_SUCCEEDED(dispatch->GetRefTypeOfImplType(-1, &vtableSide));
    ASSERT_HRESULT_SUCCEEDED(dispatch->GetRefTypeInfo(vtableSide, &vtable));
    TYPEATTR* attributes = nullptr;
    ASSERT_HRESULT_SUCCEEDED(vtable->GetTypeAttr(&attributes));
    EXPECT_EQ(static_cast<std::size_t>(attributes->cFuncs), std::size(rows));
    // Each method found by its signature, so that a method moved to another slot fails on its offset.
    std::vector<bool> found(std::size(rows));
    for (UINT index = 0; index < attributes->cFuncs; ++index) {
        FUNCDESC* function = nullptr;
        ASSERT_HRESULT_SUCCEEDED(vtable->GetFuncDesc(index, &function));
        const std::string signature = Signature(*vtable, *function);
        const auto row = std::find_if(std::begin(rows), std::end(rows),
                                      [&](const auto& entry) { return entry.signature == signature; });
        if (row == std::end(rows) || found[row - std::begin(rows)]) {
            ADD_FAILURE() << "not in the table: " << signature;
        } else {
            found[row - std::begin(rows)] = true;
            EXPECT_EQ(function->oVft, row->slot * static_cast<short>(sizeof(void*))) << signature;
            EXPECT_EQ(function->memid, row->id) << signature;
            EXPECT_EQ(function->invkind, INVOKE_FUNC) << signature;
            EXPECT_EQ(function->callconv, CC_STDCALL) << signature;
        }
        vtable->ReleaseFuncDesc(function);
    }
    vtable->ReleaseTypeAttr(attributes);
    vtable->Release();
    dispatch->Release();
    library->Release();
    CoUninitialize();
}

// The other build's library, read from its file (VANTOR_OTHER_TYPELIB, set by the wine test for the 64-bit
// build): the same interfaces with the same methods, dispatch ids, signatures and slots, made for the other
// bitness. So the 32-bit build's library is checked where 32-bit programs cannot run.
TEST(Layout, TheOtherBuildsLibraryDescribesTheSameInterfaces) {
    const char* path = std::getenv("VANTOR_OTHER_TYPELIB");
    if (!path || !*path) GTEST_SKIP() << "VANTOR_OTHER_TYPELIB names no library";
    ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    ITypeLib* own = nullptr;
    ITypeLib* other = nullptr;
    ASSERT_HRESULT_SUCCEEDED(LoadRegTypeLib(LIBID_Zandorvex, 2, 0, LOCALE_NEUTRAL, &own));
    const std::wstring widePath(path, path + std::strlen(path));
    ASSERT_HRESULT_SUCCEEDED(LoadTypeLibEx(widePath.c_str(), REGKIND_NONE, &other));
    TLIBATTR* library = nullptr;
    ASSERT_HRESULT_SUCCEEDED(other->GetLibAttr(&library));
    EXPECT_EQ(library->syskind, sizeof(void*) == 8 ? SYS_WIN32 : SYS_WIN64);
    other->ReleaseTLibAttr(library);
    ASSERT_EQ(own->GetTypeInfoCount(), other->GetTypeInfoCount());
    for (UINT type = 0; type < own->GetTypeInfoCount(); ++type) {
        ITypeInfo* mine = nullptr;
        ITypeInfo* theirs = nullptr;
        ASSERT_HRESULT_SUCCEEDED(own->GetTypeInfo(type, &mine));
        ASSERT_HRESULT_SUCCEEDED(other->GetTypeInfo(type, &theirs));
        TYPEATTR* a = nullptr;
        TYPEATTR* b = nullptr;
        ASSERT_HRESULT_SUCCEEDED(mine->GetTypeAttr(&a));
        ASSERT_HRESULT_SUCCEEDED(theirs->GetTypeAttr(&b));
        EXPECT_TRUE(IsEqualGUID(a->guid, b->guid)) << "type " << type;
        EXPECT_EQ(a->typekind, b->typekind) << "type " << type;
        EXPECT_EQ(a->cImplTypes, b->cImplTypes) << "type " << type;
        ASSERT_EQ(a->cFuncs, b->cFuncs) << "type " << type;
        for (UINT index = 0; index < a->cFuncs; ++index) {
            FUNCDESC* f = nullptr;
            FUNCDESC* g = nullptr;
            ASSERT_HRESULT_SUCCEEDED(mine->GetFuncDesc(index, &f));
            ASSERT_HRESULT_SUCCEEDED(theirs->GetFuncDesc(index, &g));
            const std::string signature = Signature(*mine, *f);
            EXPECT_EQ(Signature(*theirs, *g), signature);
            EXPECT_EQ(g->memid, f->memid) << signature;
            EXPECT_EQ(g->invkind, f->invkind) << signature;
            EXPECT_EQ(g->callconv, f->callconv) << signature;
            // The loader gives slots in this program's pointer size, whichever bitness the file was made for.
            EXPECT_EQ(g->oVft, f->oVft) << signature;
            mine->ReleaseFuncDesc(f);
            theirs->ReleaseFuncDesc(g);
        }
        mine->ReleaseTypeAttr(a);
        theirs->ReleaseTypeAttr(b);
        mine->Release();
        theirs->Release();
    }
    own->Release();
    other->Release();
    CoUninitialize();
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
