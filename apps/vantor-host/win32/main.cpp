// vantor-host.exe: a stand-in lighting host for Windows. It creates the component through COM, as a real
// host does, and drives it: by name through IDispatch where the component's interface has the operation,
// through the component's bridge interface where it has not.

#include <objbase.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <iostream>

#include "../host_options.h"
#include "automation.h"
#include "stdin_lines.h"
#include "vantor_out_com.h"

namespace {

HANDLE stopRequested = nullptr;

BOOL WINAPI RequestStop(DWORD) {
    SetEvent(stopRequested);
    return TRUE;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length,
                        nullptr, nullptr);
    return narrow;
}

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string WindowsUsage() {
    return R"(Usage: vantor-host.exe [options]
A stand-in lighting host: creates the Vantor component (Zandorvex.clsOutputDriver) through COM, initialises
it, which opens its window, and drives it.

  --plugin PATH          use the component in PATH (vantor.out.dll) without its registration
  --port N               choose serial port N (1 to 16, COM1 to COM16), as picking it in the port list does
  --enable               switch output on (the 518-byte DMX frame goes to the widget every 20 ms)
  --set CH=VAL           set channel CH (1 to 512) to level VAL (0 to 255); repeatable
  --stdin                read further levels from standard input, one "CH VAL" per line
  --mode send|receive    Art-Net bridge: send = Art-Net to DMX, receive = DMX to Art-Net
  --universe N           the universe: Art-Net 0 to 255, sACN 1 to 63999
  --protocol artnet|sacn the network protocol (default artnet); sACN joins 239.255.hi.lo of the universe on
                         the Art-Net adapter instead of Art-Net: ArtDmx then change nothing
  --priority N           the priority of the bridge's own sACN packets (0 to 200, default 100)
  --ttl N                the multicast TTL of the bridge's own sACN packets (1 to 255, default 1)
  --update-firmware FILE flash FILE to the widget on the chosen port, then exit (0 when it succeeded)
  --headless             no window on screen; message boxes go to standard error
  --duration S           run S seconds, then exit (default: until Ctrl-C)
  --interface NAME       the Art-Net adapter (friendly name, adapter name or IPv4 address); sets
                         VANTOR_ARTNET_INTERFACE
  --list-ports           print the port list that the start-up scan made, then exit
  --quiet, -q            no port list at start
  --help                 this text

Register the component first: regsvr32 vantor.out.dll (or, for this user only, regsvr32 /n /i:user
vantor.out.dll). The Art-Net node uses the adapter that VANTOR_ARTNET_INTERFACE names (friendly name, adapter
name or address) when set. --simulate-widget, --devices and --reconnect are the Linux host's only.
)";
}

// The component, by its registration or straight from a DLL.
IDispatch* CreateComponent(const std::string& pluginPath) {
    IDispatch* driver = nullptr;
    if (pluginPath.empty()) {
        CLSID classId;
        Check(CLSIDFromProgID(VANTOR_PROGID_W, &classId),
              "finding Zandorvex.clsOutputDriver (is it registered?)");
        Check(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(&driver)),
              "creating the component");
        return driver;
    }
    const HMODULE library = LoadLibraryW(Widen(pluginPath).c_str());
    if (!library) throw HostFailure("cannot load the plug-in " + pluginPath);
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    if (!getClassObject) throw HostFailure(pluginPath + " lacks DllGetClassObject");
    IClassFactory* factory = nullptr;
    Check(getClassObject(CLSID_clsOutputDriver, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
          "getting the class factory");
    const HRESULT made = factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&driver));
    factory->Release();
    Check(made, "creating the component");
    return driver;
}

void SetLevel(IDispatch& driver, std::pair<int, int> level) {
    LONG channel = level.first, value = level.second;
    VARIANT channelRef, valueRef;
    V_VT(&channelRef) = VT_I4 | VT_BYREF;
    V_I4REF(&channelRef) = &channel;
    V_VT(&valueRef) = VT_I4 | VT_BYREF;
    V_I4REF(&valueRef) = &value;
    CallByName(driver, L"SetChannel", {channelRef, valueRef});
}

bool CallForBoolean(IDispatch& driver, const wchar_t* name) {
    VARIANT result = CallByName(driver, name, {});
    return V_VT(&result) == VT_BOOL && V_BOOL(&result) != VARIANT_FALSE;
}

void Init(IDispatch& driver, HostHelper& helper, const std::string& pluginPath) {
    BSTR title = SysAllocString(L"vantor-host");
    BSTR filename = SysAllocString(Widen(pluginPath.empty() ? "vantor.out.dll" : pluginPath).c_str());
    IDispatch* helperPointer = &helper;
    VARIANT titleRef, filenameRef, helperRef;
    V_VT(&titleRef) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&titleRef) = &title;
    V_VT(&filenameRef) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&filenameRef) = &filename;
    V_VT(&helperRef) = VT_DISPATCH | VT_BYREF;
    V_DISPATCHREF(&helperRef) = &helperPointer;
    try {
        CallByName(driver, L"init", {titleRef, filenameRef, helperRef});
    } catch (...) {
        SysFreeString(title);
        SysFreeString(filename);
        throw;
    }
    SysFreeString(title);
    SysFreeString(filename);
}

void PrintPortList(IVantorBridge& bridge, std::ostream& out) {
    BSTR list = nullptr;
    Check(bridge.PortList(&list), "reading the port list");
    std::string text = Narrow(std::wstring(list ? list : L"", SysStringLen(list)));
    SysFreeString(list);
    out << "vantor-host: port list:" << (text.empty() ? " empty\n" : "\n");
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        out << "  " << text.substr(start, end - start) << "\n";
}

// Runs the thread's messages (and so the component's timers and socket) until the duration is up or a stop
// is asked for, taking levels from standard input meanwhile.
void RunMessages(IDispatch& driver, const HostOptions& options) {
    StdinLines* input = options.readStdin ? &StdinLines::Start() : nullptr;
    const auto started = std::chrono::steady_clock::now();
    for (;;) {
        DWORD waitMs = INFINITE;
        if (options.durationSeconds) {
            const std::chrono::duration<double> ran = std::chrono::steady_clock::now() - started;
            const double left = *options.durationSeconds - ran.count();
            if (left <= 0) return;
            waitMs = static_cast<DWORD>(left * 1000) + 1;
        }
        HANDLE handles[] = {stopRequested, input ? input->Ready() : stopRequested};
        const DWORD woke =
            MsgWaitForMultipleObjectsEx(input ? 2 : 1, handles, waitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0) return;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) return;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (!input) continue;
        for (const std::string& line : input->Take()) {
            if (line.find_first_not_of(" \t\r") == std::string::npos || line[0] == '#') continue;
            try {
                SetLevel(driver, ParseLevel(line, ' '));
            } catch (const std::exception& bad) {
                std::cerr << "vantor-host: ignored input line '" << line << "': " << bad.what() << "\n";
            }
        }
    }
}

// sACN, through the component's sACN interface, before the universe, which then is sACN's.
void ChooseSacn(IDispatch& driver, const HostOptions& options) {
    if (!options.sacn && !options.priority && !options.ttl) return;
    IVantorSacn* sacn = nullptr;
    Check(driver.QueryInterface(IID_IVantorSacn, reinterpret_cast<void**>(&sacn)),
          "asking for the sACN interface");
    HRESULT result = S_OK;
    const char* what = "";
    const auto step = [&](bool wanted, const char* name, auto call) {
        if (!wanted || FAILED(result)) return;
        result = call();
        what = name;
    };
    step(options.sacn, "choosing sACN", [&] { return sacn->SetProtocol(1); });
    step(options.priority.has_value(), "sACN priority", [&] { return sacn->SetPriority(*options.priority); });
    step(options.ttl.has_value(), "sACN TTL", [&] { return sacn->SetTtl(*options.ttl); });
    sacn->Release();
    Check(result, what);
}

// Everything the options ask for after init; the exit code.
int Drive(IDispatch& driver, IVantorBridge& bridge, const HostOptions& options) {
    if (!options.quiet) PrintPortList(bridge, std::cerr);
    if (options.port) {
        VARIANT_BOOL opened = VARIANT_FALSE;
        Check(bridge.SelectPort(*options.port, &opened), "choosing the port");
        if (!opened) throw HostFailure("port " + std::to_string(*options.port) + " did not open");
    }
    if (options.sendMode)
        Check(bridge.SetBridgeMode(*options.sendMode ? VARIANT_TRUE : VARIANT_FALSE), "setting the mode");
    ChooseSacn(driver, options);
    if (options.universe) Check(bridge.SetUniverse(*options.universe), "setting the universe");
    for (const auto& level : options.levels) SetLevel(driver, level);

    if (options.firmwareFile) {
        VARIANT_BOOL updated = VARIANT_FALSE;
        BSTR path = SysAllocString(Widen(*options.firmwareFile).c_str());
        const HRESULT result = bridge.UpdateFirmware(path, &updated);
        SysFreeString(path);
        Check(result, "firmware update");
        std::cerr << "vantor-host: firmware update " << (updated ? "succeeded" : "failed") << "\n";
        return updated ? 0 : 1;
    }
    if (options.enable) CallForBoolean(driver, L"Enable");
    if (!options.durationSeconds) std::cerr << "vantor-host: running; Ctrl-C stops\n";
    RunMessages(driver, options);
    return 0;
}

int Run(const HostOptions& options) {
    if (options.headless) SetEnvironmentVariableW(L"VANTOR_HEADLESS", L"1");
    if (options.artNetInterface)
        SetEnvironmentVariableW(L"VANTOR_ARTNET_INTERFACE", Widen(*options.artNetInterface).c_str());
    Check(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), "starting COM");
    IDispatch* driver = CreateComponent(options.pluginPath);
    IVantorBridge* bridge = nullptr;
    Check(driver->QueryInterface(IID_IVantorBridge, reinterpret_cast<void**>(&bridge)),
          "asking for the bridge interface");
    HostHelper helper;
    Init(*driver, helper, options.pluginPath);
    int exitCode = 0;
    if (options.listPorts)
        PrintPortList(*bridge, std::cout);
    else
        exitCode = Drive(*driver, *bridge, options);
    CallForBoolean(*driver, L"Term");
    if (helper.References() != 1)
        std::cerr << "vantor-host: the component still holds " << helper.References() - 1
                  << " reference(s) to the helper after Term\n";
    bridge->Release();
    driver->Release();
    return exitCode;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int index = 1; index < argc; ++index) args.push_back(Narrow(argv[index]));
    HostOptions options;
    try {
        options = ParseHostOptions(args);
        if (options.simulateWidget)
            throw UsageError(
                "--simulate-widget is not available on Windows; map a widget's port as a COM port");
    } catch (const UsageError& bad) {
        std::cerr << "vantor-host: " << bad.what() << " (see --help)\n";
        return 2;
    }
    if (options.help) {
        std::cout << WindowsUsage();
        return 0;
    }
    stopRequested = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(&RequestStop, TRUE);
    try {
        return Run(options);
    } catch (const std::exception& failure) {
        std::cerr << "vantor-host: " << failure.what() << "\n";
        return 1;
    }
}
