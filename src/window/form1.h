#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "artnet/artnet.h"
#include "artnet/udp_socket.h"
#include "dialogs/common_dialog.h"
#include "sacn/sacn_bridge.h"
#include "stuff/event_loop.h"
#include "stuff/message_box.h"
#include "stuff/vb_boolean.h"
#include "widget/frame_assembler.h"
#include "widget/prowidget.h"
#include "widget/serial_port.h"
#include "window/bridge_choice.h"
#include "window/controls.h"

class FileDialogService;

// What the window reaches outside itself. The platform provides each; tests may provide their own.
struct WindowServices {
    SerialPort& MSComm1;
    UdpSocket& ArtSocket;
    MessageBox& Messages;
    EventLoop& Events;
    FileDialogService* FileDialog = nullptr;
    ArtNet::LogSink ArtNetLog;
    // The folder that holds the plug-in's own library file.
    std::string LibraryFolder;
    // The user's locale's decimal separator, for the numbers the window shows.
    std::string DecimalSeparator = ".";
    // The widget link's log: the firmware update's notes.
    std::function<void(const std::string& line)> WidgetLog{};
    // The sACN socket; none where the platform has no sACN yet.
    SacnSocket* Sacn = nullptr;
    SacnSendServices SacnSend{};
};

inline constexpr int kMonitorChannels = 132;
inline constexpr int kMonitorColumns = 12;
inline constexpr int kPortCount = 16;

// A widget's firmware version as its parameters reply gives it.
struct FirmwareVersion {
    std::uint8_t Msb = 0;
    std::uint8_t Lsb = 0;
};

// The plug-in's one window: it owns every control, timer and shared flag, and the modules' state.
class Form1 {
public:
    explicit Form1(WindowServices services);
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;
    ~Form1();

    // The load handler: runs the start-up sequence once.
    void Form_Load();

    // Shared flags.
    VBool LinkOpen = kFalse;
    VBool SendMode = kFalse;
    std::array<VBool, kPortCount + 1> PortOpened{};  // index 1 to 16
    // What answered each port's parameters request in the last scan (index 1 to 16), for a host's port list.
    std::array<std::optional<FirmwareVersion>, kPortCount + 1> ScanReplies{};

    // Controls.
    GroupBox Frame1{"Frame1"};
    ListBox DevList{"DevList"};
    Button Command2{"Command2"};
    Button Command5{"Command5"};
    Label Label5{"Label5"};
    Label Label1{"Label1"};
    Button Command4{"Command4"};
    Label Label2{"Label2"};
    Label Label3{"Label3"};
    Label Label4{"Label4"};
    ScrollBar HScroll1{"HScroll1"};
    ScrollBar HScroll2{"HScroll2"};
    ScrollBar HScroll3{"HScroll3"};
    Button cfg_request{"cfg_request"};
    Button Command3{"Command3"};
    GroupBox Frame2{"Frame2"};
    Button senddmxbutton{"senddmxbutton"};
    Button Command1{"Command1"};
    Label LabelTest{"LabelTest"};
    ScrollBar ArtUniv{"ArtUniv"};
    Label ArtUnivLbl{"ArtUnivLbl"};
    Label ArtDetectedLbl{"ArtDetectedLbl"};
    std::vector<std::unique_ptr<Label>> Label8;  // indexes 0 to 131
    StatusBar StatusBar1{"StatusBar1"};

    // Timers.
    Timer Timer1{"Timer1"};
    Timer Timer2{"Timer2"};
    Timer timOutput{"timOutput"};
    Timer Timer3{"Timer3"};
    Timer Timer4{"Timer4"};
    Timer timeout{"timeout"};
    // sACN's source time-outs and its own stream's discovery and end: never paused, not by a firmware update.
    Timer timSacn{"timSacn"};

    // The serial and socket controls.
    SerialPort& MSComm1;
    UdpSocket& ArtSocket;

    // Modules.
    ProWidget prowidget;
    ArtNet artnet;
    // sACN in the node's place, when a host chooses it; the window's controls know nothing of it.
    SacnBridge sacn;
    BridgeChoice bridge;
    ZEVID_CommonDialog CommonDialog;

    // Public methods.
    bool init();
    void DisplayConfig();

    // Does what choosing that port's entry in the port list does, whether or not the list shows it; true
    // when that port is the open link port afterwards. A number outside 1 to 16 is thrown.
    bool SelectPort(int port);
    // What "Search" does for one port alone: the link port is closed, that port probed and its entry listed
    // when a widget answers. No other device is opened or written to.
    void SearchPort(int port);
    // Runs what the "UPD" button runs once a file has been chosen; true when the update succeeded.
    bool UpdateFirmwareFromFile(const std::string& path);

    // Handlers.
    void timOutput_Timer();
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    void Timer4_Timer();
    void timeout_Timer();
    void timSacn_Timer();
    void Command2_Click();
    void Command5_Click();
    void DevList_Click();
    void Command4_Click();
    void HScroll1_Change();
    void HScroll2_Change();
    void HScroll3_Change();
    void cfg_request_Click();
    void Command3_Click();
    void senddmxbutton_Click();
    void Command1_Click();
    void ArtUniv_Change();
    void ArtSocket_DataArrival(std::size_t bytesTotal);

    // Every control and timer, for the view and for tests.
    std::vector<Control*> AllControls();
    std::vector<Timer*> AllTimers();

    const WindowServices& Services() const { return services_; }

private:
    void LayOutControls();
    void WireEvents();
    void ScanPorts();
    // Opens the port, asks for the widget's parameters and records what answered; true when a widget did.
    bool ProbePort(int port);
    // The port list's choice of a port number, from its entry or from SelectPort.
    void ChoosePort(int port);
    // Closes the link port if open and sets LinkOpen False: every port change starts from a closed port. The
    // own sACN stream, fed by that link, ends.
    void CloseLinkPort();
    // Channels 1 to 132 of a levels array on the monitor grid.
    void ShowLevels(std::span<const std::uint8_t, kLevelCount> levels);
    // The serial control closes the port itself after a failure; from then on the window behaves as with no
    // port, until the user chooses one again, and the own sACN stream ends. A failure that no sender has
    // shown (a device found gone while reading) is shown here, once.
    void NoticeClosedLink(const std::string& failure = {});
    // A partial frame carried by the receive poll belongs to nothing once the port or its reader changed; the
    // poll then waits on input again rather than on its clock.
    void DropCarriedFrame();

    WindowServices services_;
    // An update lets events run while it waits; a second click on "UPD" meanwhile must not start another.
    bool updatingFirmware_ = false;
    std::optional<int> portChosenDuringUpdate_;
    // The receive poll's partial frame, carried from one tick to the next; busy while it parses.
    FrameAssembler receiveFrames_{
        [this](std::vector<std::uint8_t>& frame) { prowidget.ParseWidgetReply(frame); },
        [this](FrameFault fault) { prowidget.RecordFrameFault(fault); }};
    bool polling_ = false;
    // Reused from one read to the next, so that a stream of reports or datagrams allocates nothing.
    std::vector<std::uint8_t> pollBytes_;
    std::vector<std::uint8_t> datagram_;
    // What the grid and the status display show now, so that a tick with nothing new does nothing. Only the
    // monitor ticks write the grid; the status text may be replaced by others, so it is compared as well.
    std::optional<std::array<std::uint8_t, kMonitorChannels>> monitorShown_;
    struct StatusShown {
        std::uint8_t replyStatus;
        VBool sendMode;
        bool detected;
        bool operator==(const StatusShown&) const = default;
    };
    std::optional<StatusShown> statusShown_;
    std::string statusText_;
};
