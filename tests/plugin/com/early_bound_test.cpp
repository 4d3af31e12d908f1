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

// The object's other interfaces, asked for once.
struct Faces {
    explicit Faces(_clsOutputDriver& object) {
        object.QueryInterface(IID_IVantorBridge, reinterpret_cast<void**>(&bridge));
        object.QueryInterface(IID_IVantorSacn, reinterpret_cast<void**>(&sacn));
    }
    ~Faces() {
        if (bridge) bridge->Release();
        if (sacn) sacn->Release();
    }
    Faces(const Faces&) = delete;
    Faces& operator=(const Faces&) = delete;
    bool Complete() const { return bridge && sacn; }
    IVantorBridge* bridge = nullptr;
    IVantorSacn* sacn = nullptr;
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
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IVantorSacn), S_OK);
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

// The sACN interface is the same object's: its IUnknown is the driver's, and its calls reach the bridge.
TEST_F(EarlyBound, TheSacnInterfaceReachesTheBridgeAndRefusesArgumentsOutOfRange) {
    Faces faces(*driver);
    ASSERT_TRUE(faces.Complete());
    IUnknown* fromDriver = nullptr;
    IUnknown* fromSacn = nullptr;
    ASSERT_HRESULT_SUCCEEDED(driver->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromDriver)));
    ASSERT_HRESULT_SUCCEEDED(faces.sacn->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromSacn)));
    EXPECT_EQ(fromDriver, fromSacn);
    fromDriver->Release();
    fromSacn->Release();
    IVantorSacn& sacn = *faces.sacn;
    const auto protocol = [&] {
        LONG chosen = -1;
        EXPECT_HRESULT_SUCCEEDED(sacn.get_Protocol(&chosen));
        return chosen;
    };
    const struct {
        const char* what;
        std::function<HRESULT()> call;
        HRESULT status;
        const wchar_t* description;  // of the error object, when it fails
        LONG protocolAfter;
    } rows[] = {
        {"priority 201", [&] { return sacn.SetPriority(201); }, E_INVALIDARG,
         L"sACN priority 201 is outside 0 to 200", 0},
        {"priority -1", [&] { return sacn.SetPriority(-1); }, E_INVALIDARG,
         L"sACN priority -1 is outside 0 to 200", 0},
        {"priority 0", [&] { return sacn.SetPriority(0); }, S_OK, nullptr, 0},
        {"priority 200", [&] { return sacn.SetPriority(200); }, S_OK, nullptr, 0},
        {"TTL 0", [&] { return sacn.SetTtl(0); }, E_INVALIDARG, L"sACN TTL 0 is outside 1 to 255", 0},
        {"TTL 256", [&] { return sacn.SetTtl(256); }, E_INVALIDARG, L"sACN TTL 256 is outside 1 to 255", 0},
        {"TTL 255", [&] { return sacn.SetTtl(255); }, S_OK, nullptr, 0},
        {"protocol 2", [&] { return sacn.SetProtocol(2); }, E_INVALIDARG,
         L"Protocol 2 is neither 0 (Art-Net) nor 1 (sACN)", 0},
        {"sACN", [&] { return sacn.SetProtocol(1); }, S_OK, nullptr, 1},
        {"sACN universe 63999", [&] { return faces.bridge->SetUniverse(63999); }, S_OK, nullptr, 1},
        {"sACN universe 0", [&] { return faces.bridge->SetUniverse(0); }, E_FAIL,
         L"sACN universe 0 is outside 1 to 63999", 1},
        {"Art-Net after sACN universe 63999", [&] { return sacn.SetProtocol(0); }, E_INVALIDARG,
         L"Universe 63999, set last, is not one of Art-Net's: set the universe first", 1},
        {"sACN universe 5", [&] { return faces.bridge->SetUniverse(5); }, S_OK, nullptr, 1},
        {"Art-Net, universe 5 carried over", [&] { return sacn.SetProtocol(0); }, S_OK, nullptr, 0},
        {"Art-Net universe 256", [&] { return faces.bridge->SetUniverse(256); }, E_FAIL,
         L"Universe 256 is outside 0 to 255", 0},
        {"Art-Net universe 255", [&] { return faces.bridge->SetUniverse(255); }, S_OK, nullptr, 0},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.call(), row.status) << row.what;
        if (row.description) {
            EXPECT_EQ(ErrorDescription(), row.description) << row.what;
        }
        EXPECT_EQ(protocol(), row.protocolAfter) << row.what;
    }
    LONG universe = -1;
    ASSERT_HRESULT_SUCCEEDED(sacn.get_Universe(&universe));
    EXPECT_EQ(universe, 255);
    // Nobody sends here: no source, no winner, no merge.
    LONG sources = -1, ignored = -1;
    BSTR winner = nullptr;
    VARIANT_BOOL merging = VARIANT_TRUE;
    ASSERT_HRESULT_SUCCEEDED(sacn.get_SourceCount(&sources));
    ASSERT_HRESULT_SUCCEEDED(sacn.get_Winner(&winner));
    ASSERT_HRESULT_SUCCEEDED(sacn.get_Merging(&merging));
    ASSERT_HRESULT_SUCCEEDED(sacn.get_IgnoredCount(&ignored));
    EXPECT_EQ(sources, 0);
    EXPECT_EQ(SysStringLen(winner), 0u);
    EXPECT_EQ(merging, VARIANT_FALSE);
    EXPECT_GE(ignored, 0);
    SysFreeString(winner);
}

// Invoked by id, as an automation host does: a failure as an exception with its code and description.
TEST_F(EarlyBound, TheSacnInterfaceDispatchesItsOwnNames) {
    Faces faces(*driver);
    ASSERT_TRUE(faces.Complete());
    IVantorSacn& sacn = *faces.sacn;
    VARIANT priority;
    V_VT(&priority) = VT_I4;
    V_I4(&priority) = 300;
    DISPPARAMS one = {&priority, nullptr, 1, 0};
    EXCEPINFO exception = {};
    EXPECT_EQ(
        sacn.Invoke(2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &one, nullptr, &exception, nullptr),
        DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, E_INVALIDARG);
    EXPECT_STREQ(exception.bstrDescription, L"sACN priority 300 is outside 0 to 200");
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    DISPPARAMS none = {};
    VARIANT count;
    VariantInit(&count);
    ASSERT_HRESULT_SUCCEEDED(
        sacn.Invoke(5, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &count, nullptr, nullptr));
    EXPECT_EQ(V_VT(&count), VT_I4);
    EXPECT_EQ(V_I4(&count), 0);
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

// Each dual interface answers its own names with its declared ids, and not the other's.
TEST_F(EarlyBound, DispatchFollowsTheDeclaredNamesAndIds) {
    Faces faces(*driver);
    ASSERT_TRUE(faces.Complete());
    IDispatch* const outputDriver = driver;
    IDispatch* const sacn = faces.sacn;
    const struct {
        IDispatch* face;
        const wchar_t* name;
        HRESULT status;
        DISPID id;
    } rows[] = {{outputDriver, L"Disable", S_OK, 0x60030000},
                {outputDriver, L"Enable", S_OK, 0x60030001},
                {outputDriver, L"PluginName", S_OK, 0x60030002},
                {outputDriver, L"SetChannel", S_OK, 0x60030003},
                {outputDriver, L"Configure", S_OK, 0x60030004},
                {outputDriver, L"init", S_OK, 0x60030005},
                {outputDriver, L"Term", S_OK, 0x60030006},
                {sacn, L"SetProtocol", S_OK, 1},
                {sacn, L"SetTtl", S_OK, 3},
                {sacn, L"SourceCount", S_OK, 5},
                {sacn, L"IgnoredCount", S_OK, 8},
                {sacn, L"Universe", S_OK, 9},
                {sacn, L"Disable", DISP_E_UNKNOWNNAME, 0}};
    for (const auto& row : rows) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(row.name)};
        DISPID id = 0;
        EXPECT_EQ(row.face->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), row.status);
        if (row.status == S_OK) {
            EXPECT_EQ(id, row.id);
        }
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
    std::function<HRESULT(_clsOutputDriver&, Faces&, Arguments&)> run;
};

TEST_F(EarlyBound, AMissingOutParameterIsEPointerAndAllocatesOrChangesNothing) {
    Faces faces(*driver);
    ASSERT_TRUE(faces.Complete());
    using D = _clsOutputDriver&;
    using B = Faces&;
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
        {"SelectPort", [](D, B b, A) { return b.bridge->SelectPort(17, nullptr); }},
        {"UpdateFirmware", [](D, B b, A a) { return b.bridge->UpdateFirmware(a.file, nullptr); }},
        {"PortList", [](D, B b, A) { return b.bridge->PortList(nullptr); }},
        {"Protocol", [](D, B b, A) { return b.sacn->get_Protocol(nullptr); }},
        {"SourceCount", [](D, B b, A) { return b.sacn->get_SourceCount(nullptr); }},
        {"Winner", [](D, B b, A) { return b.sacn->get_Winner(nullptr); }},
        {"Merging", [](D, B b, A) { return b.sacn->get_Merging(nullptr); }},
        {"IgnoredCount", [](D, B b, A) { return b.sacn->get_IgnoredCount(nullptr); }},
        {"Universe", [](D, B b, A) { return b.sacn->get_Universe(nullptr); }},
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
        EXPECT_EQ(row.run(*driver, faces, arguments), E_POINTER) << row.what;
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
    using B = Faces&;
    using A = Arguments&;
    const Call rows[] = {
        {"Disable", [](D d, B, A a) { return d.Disable(&a.flag); }},
        {"Enable", [](D d, B, A a) { return d.Enable(&a.flag); }},
        {"PluginName", [](D d, B, A a) { return d.PluginName(&a.text); }},
        {"SetChannel", [](D d, B, A a) { return d.SetChannel(&a.channel, &a.value, &a.flag); }},
        {"Configure", [](D d, B, A a) { return d.Configure(&a.flag); }},
        {"init", [](D d, B, A a) { return d.init(&a.title, &a.file, &a.helper, &a.flag); }},
        {"Term", [](D d, B, A a) { return d.Term(&a.flag); }},
        {"SelectPort", [](D, B b, A a) { return b.bridge->SelectPort(1, &a.flag); }},
        {"SetBridgeMode", [](D, B b, A) { return b.bridge->SetBridgeMode(VARIANT_FALSE); }},
        {"SetUniverse", [](D, B b, A) { return b.bridge->SetUniverse(3); }},
        {"UpdateFirmware", [](D, B b, A a) { return b.bridge->UpdateFirmware(a.file, &a.flag); }},
        {"PortList", [](D, B b, A a) { return b.bridge->PortList(&a.text); }},
        {"SetProtocol", [](D, B b, A) { return b.sacn->SetProtocol(1); }},
        {"SetPriority", [](D, B b, A) { return b.sacn->SetPriority(7); }},
        {"SetTtl", [](D, B b, A) { return b.sacn->SetTtl(2); }},
        {"Protocol", [](D, B b, A a) { return b.sacn->get_Protocol(&a.channel); }},
        {"Winner", [](D, B b, A a) { return b.sacn->get_Winner(&a.text); }},
        {"sACN GetIDsOfNames",
         [](D, B b, A a) { return b.sacn->GetIDsOfNames(IID_NULL, a.names, 1, LOCALE_USER_DEFAULT, &a.id); }},
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
                Faces faces(*object);
                if (!faces.Complete()) {
                    faults.push_back(whose + "an interface is missing");
                    continue;
                }
                for (const Call& row : rows) {
                    Arguments arguments;
                    const HRESULT refused = row.run(*object, faces, arguments);
                    if (refused != RPC_E_WRONG_THREAD)
                        faults.push_back(whose + row.what + " returned " + std::to_string(refused));
                    if (!arguments.Untouched()) faults.push_back(whose + row.what + " wrote an argument");
                }
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
// generated header: each one's kind and flags, and each method's vtable slot, dispatch id, kind and
// signature, from the registered type library. A published interface never changes; a new one is added.
TEST(Layout, TheRegisteredInterfacesKeepTheirSlotsAndSignatures) {
    struct Method {
        short slot;  // counted from the first of IUnknown
        MEMBERID id;
        INVOKEKIND kind;
        const char* signature;
    };
    struct Interface {
        const char* name;
        const IID& iid;
        bool dual;  // else an interface derived from IUnknown
        WORD flags;
        std::vector<Method> methods;
    };
    constexpr INVOKEKIND F = INVOKE_FUNC, G = INVOKE_PROPERTYGET;
    const Interface interfaces[] = {
        {"_clsOutputDriver",
         IID__clsOutputDriver,
         true,
         TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE,
         {
             {7, 0x60030000, F, "HRESULT Disable([out, retval] VARIANT_BOOL* result)"},
             {8, 0x60030001, F, "HRESULT Enable([out, retval] VARIANT_BOOL* result)"},
             {9, 0x60030002, F, "HRESULT PluginName([out, retval] BSTR* result)"},
             {10, 0x60030003, F,
              "HRESULT SetChannel([in, out] long* Channel, [in, out] long* Value, [out, retval] "
              "VARIANT_BOOL* "
              "result)"},
             {11, 0x60030004, F, "HRESULT Configure([out, retval] VARIANT_BOOL* result)"},
             {12, 0x60030005, F,
              "HRESULT init([in, out] BSTR* CallingAppTitle, [in, out] BSTR* MyFilename, [in, out] "
              "IDispatch** "
              "HostPluginHelper, [out, retval] VARIANT_BOOL* result)"},
             {13, 0x60030006, F, "HRESULT Term([out, retval] VARIANT_BOOL* result)"},
         }},
        {"IVantorBridge",
         IID_IVantorBridge,
         false,
         TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FNONEXTENSIBLE,
         {
             {3, 0x60010000, F, "HRESULT SelectPort([in] long Port, [out, retval] VARIANT_BOOL* result)"},
             {4, 0x60010001, F, "HRESULT SetBridgeMode([in] VARIANT_BOOL Send)"},
             {5, 0x60010002, F, "HRESULT SetUniverse([in] long Universe)"},
             {6, 0x60010003, F, "HRESULT UpdateFirmware([in] BSTR Path, [out, retval] VARIANT_BOOL* result)"},
             {7, 0x60010004, F, "HRESULT PortList([out, retval] BSTR* result)"},
         }},
        {"IVantorSacn",
         IID_IVantorSacn,
         true,
         TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE,
         {
             {7, 1, F, "HRESULT SetProtocol([in] long Protocol)"},
             {8, 2, F, "HRESULT SetPriority([in] long Priority)"},
             {9, 3, F, "HRESULT SetTtl([in] long Ttl)"},
             {10, 4, G, "HRESULT Protocol([out, retval] long* result)"},
             {11, 5, G, "HRESULT SourceCount([out, retval] long* result)"},
             {12, 6, G, "HRESULT Winner([out, retval] BSTR* result)"},
             {13, 7, G, "HRESULT Merging([out, retval] VARIANT_BOOL* result)"},
             {14, 8, G, "HRESULT IgnoredCount([out, retval] long* result)"},
             {15, 9, G, "HRESULT Universe([out, retval] long* result)"},
         }},
    };
    ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    ITypeLib* library = nullptr;
    ASSERT_HRESULT_SUCCEEDED(LoadRegTypeLib(LIBID_Zandorvex, 2, 0, LOCALE_NEUTRAL, &library));
    for (const Interface& face : interfaces) {
        SCOPED_TRACE(face.name);
        ITypeInfo* declared = nullptr;
        ASSERT_HRESULT_SUCCEEDED(library->GetTypeInfoOfGuid(face.iid, &declared));
        TYPEATTR* attributes = nullptr;
        ASSERT_HRESULT_SUCCEEDED(declared->GetTypeAttr(&attributes));
        EXPECT_EQ(attributes->typekind, face.dual ? TKIND_DISPATCH : TKIND_INTERFACE);
        EXPECT_EQ(attributes->wTypeFlags, face.flags);
        declared->ReleaseTypeAttr(attributes);
        // The vtable side of a dual interface is the automation-compatible one.
        ITypeInfo* vtable = declared;
        if (face.dual) {
            HREFTYPE vtableSide = 0;
            ASSERT_HRESULT_SUCCEEDED(declared->GetRefTypeOfImplType(-1, &vtableSide));
            ASSERT_HRESULT_SUCCEEDED(declared->GetRefTypeInfo(vtableSide, &vtable));
            declared->Release();
        }
        ASSERT_HRESULT_SUCCEEDED(vtable->GetTypeAttr(&attributes));
        if (face.dual) {
            EXPECT_EQ(attributes->wTypeFlags & TYPEFLAG_FOLEAUTOMATION, TYPEFLAG_FOLEAUTOMATION);
        }
        EXPECT_EQ(static_cast<std::size_t>(attributes->cFuncs), face.methods.size());
        // Each method found by its signature, so that a method moved to another slot fails on its offset.
        std::vector<bool> found(face.methods.size());
        for (UINT index = 0; index < attributes->cFuncs; ++index) {
            FUNCDESC* function = nullptr;
            ASSERT_HRESULT_SUCCEEDED(vtable->GetFuncDesc(index, &function));
            const std::string signature = Signature(*vtable, *function);
            const auto row = std::find_if(face.methods.begin(), face.methods.end(),
                                          [&](const Method& entry) { return entry.signature == signature; });
            if (row == face.methods.end() || found[row - face.methods.begin()]) {
                ADD_FAILURE() << "not in the table: " << signature;
            } else {
                found[row - face.methods.begin()] = true;
                EXPECT_EQ(function->oVft, row->slot * static_cast<short>(sizeof(void*))) << signature;
                EXPECT_EQ(function->memid, row->id) << signature;
                EXPECT_EQ(function->invkind, row->kind) << signature;
                EXPECT_EQ(function->callconv, CC_STDCALL) << signature;
            }
            vtable->ReleaseFuncDesc(function);
        }
        vtable->ReleaseTypeAttr(attributes);
        vtable->Release();
    }
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
