#include "window/form1.h"

#include <chrono>
#include <exception>

namespace {

void Place(Control& control, const Control* container, int left, int top, int width, int height) {
    control.Container = container;
    control.Rect = TwipRect{left, top, width, height};
}

}  // namespace

Form1::Form1(WindowServices services)
    : MSComm1(services.MSComm1),
      ArtSocket(services.ArtSocket),
      prowidget(services.MSComm1, services.Messages),
      artnet(services.ArtSocket, bridge, prowidget, services.ArtNetLog),
      sacn(
          services.Sacn, prowidget, [this] { return bridge.IsSendMode(); }, services.SacnSend),
      bridge(SendMode, ArtUniv, sacn),
      services_(std::move(services)) {
    Frame1.SetCaption("Device Manager");
    Command2.SetCaption("Search");
    Command5.SetCaption("Show Ports");
    Label5.SetCaption("Current Port:");
    Command4.SetCaption("UPD");
    for (Label* label : {&Label1, &Label2, &Label3, &Label4}) {
        label->SetCaption(" ");
        label->SetBackColor(kDarkGrey);
    }
    HScroll1.SetRange(9, 127);
    HScroll1.SetValue(9);
    HScroll2.SetRange(1, 127);
    HScroll2.SetValue(1);
    HScroll3.SetRange(1, 40);
    HScroll3.SetValue(1);
    cfg_request.SetCaption("Refresh");
    Command3.SetCaption("Apply");
    Frame2.SetCaption("Control");
    senddmxbutton.SetCaption("Art-Net To DMX");
    Command1.SetCaption("DMX To Art-Net");
    LabelTest.SetCaption("Label10");
    ArtUniv.SetRange(0, 255);
    ArtUniv.SetValue(0);
    ArtUnivLbl.SetCaption("Universe 0");
    ArtUnivLbl.SetBackColor(kDarkGrey);
    ArtDetectedLbl.SetCaption("Label10");
    for (int index = 0; index < kMonitorChannels; ++index) {
        Label8.push_back(std::make_unique<Label>("Label8(" + std::to_string(index) + ")"));
        Label8.back()->SetCaption(index == 0 ? "001" : " 001");
    }

    Timer1.SetInterval(2);
    Timer1.SetTicksOnInput(MSComm1.NotifiesInput());
    Timer2.SetInterval(100);
    timOutput.SetInterval(20);
    Timer3.SetInterval(25);
    Timer4.SetInterval(25);
    timeout.SetInterval(10000);
    timSacn.SetInterval(100);
    Timer1.SetEnabled(true);
    Timer2.SetEnabled(true);
    timSacn.SetEnabled(true);

    LayOutControls();
    WireEvents();
}

Form1::~Form1() {
    MSComm1.InputArrived = nullptr;
    ArtSocket.DataArrival = nullptr;
}

void Form1::LayOutControls() {
    Place(Frame1, nullptr, 120, 120, 2775, 4455);
    Place(DevList, &Frame1, 120, 360, 2535, 1620);
    Place(Command2, &Frame1, 120, 2160, 1095, 300);
    Place(Command5, &Frame1, 1320, 2160, 1335, 300);
    Place(Label5, &Frame1, 120, 2520, 2535, 255);
    Place(Label1, &Frame1, 120, 2880, 1935, 255);
    Place(Command4, &Frame1, 2160, 2865, 495, 270);
    Place(Label2, &Frame1, 120, 3120, 2055, 225);
    Place(Label3, &Frame1, 120, 3360, 2055, 225);
    Place(Label4, &Frame1, 120, 3600, 2055, 225);
    Place(HScroll1, &Frame1, 2160, 3120, 495, 225);
    Place(HScroll2, &Frame1, 2160, 3360, 495, 225);
    Place(HScroll3, &Frame1, 2160, 3600, 495, 225);
    Place(cfg_request, &Frame1, 240, 4080, 1095, 300);
    Place(Command3, &Frame1, 1560, 4080, 1095, 300);

    Place(Frame2, nullptr, 3000, 120, 4335, 1575);
    Place(senddmxbutton, &Frame2, 240, 240, 1695, 375);
    Place(Command1, &Frame2, 2280, 240, 1695, 375);
    Place(LabelTest, &Frame2, 240, 840, 3735, 255);
    Place(ArtUnivLbl, &Frame2, 240, 1230, 1095, 255);
    Place(ArtUniv, &Frame2, 1425, 1230, 495, 255);
    Place(ArtDetectedLbl, &Frame2, 2280, 1245, 1980, 255);

    for (int index = 0; index < kMonitorChannels; ++index) {
        const int row = index / kMonitorColumns;
        const int column = index % kMonitorColumns;
        Place(*Label8[static_cast<std::size_t>(index)], nullptr, 3000 + column * 360, 1920 + row * 240, 375,
              255);
    }
    Place(StatusBar1, nullptr, 0, 4680, 7455, 315);
}

void Form1::WireEvents() {
    Command2.Click = [this] { Command2_Click(); };
    Command5.Click = [this] { Command5_Click(); };
    DevList.Click = [this] { DevList_Click(); };
    Command4.Click = [this] { Command4_Click(); };
    HScroll1.Change = [this] { HScroll1_Change(); };
    HScroll2.Change = [this] { HScroll2_Change(); };
    HScroll3.Change = [this] { HScroll3_Change(); };
    cfg_request.Click = [this] { cfg_request_Click(); };
    Command3.Click = [this] { Command3_Click(); };
    senddmxbutton.Click = [this] { senddmxbutton_Click(); };
    Command1.Click = [this] { Command1_Click(); };
    ArtUniv.Change = [this] { ArtUniv_Change(); };
    Timer1.Tick = [this] { Timer1_Timer(); };
    Timer2.Tick = [this] { Timer2_Timer(); };
    timOutput.Tick = [this] { timOutput_Timer(); };
    Timer3.Tick = [this] { Timer3_Timer(); };
    Timer4.Tick = [this] { Timer4_Timer(); };
    timeout.Tick = [this] { timeout_Timer(); };
    timSacn.Tick = [this] { timSacn_Timer(); };
    ArtSocket.DataArrival = [this](std::size_t bytesTotal) { ArtSocket_DataArrival(bytesTotal); };
    MSComm1.InputArrived = [this] { Timer1.Fire(); };
    prowidget.SetSendFailureHandler([this] { NoticeClosedLink(); });
    prowidget.SetDmxForwarder([this] { return !FromVBool(SendMode); },
                              [this](std::span<const std::uint8_t, kLevelCount> levels) {
                                  if (bridge.Protocol() == BridgeProtocol::Sacn)
                                      sacn.SendLevels(levels.subspan(1, prowidget.ReceivedSlotCount()),
                                                      std::chrono::steady_clock::now());
                                  else
                                      artnet.SendArtDmx(bridge.UniverseSetting(), levels);
                              });
}

// Each step runs even when an earlier one failed.
void Form1::Form_Load() {
    auto step = [](auto&& run) {
        try {
            run();
        } catch (const std::exception&) {
        }
    };
    step([this] { prowidget.InitWidgetPackets(); });
    step([this] { DisplayConfig(); });
    step([this] { ScanPorts(); });
    step([this] { artnet.StartArtNetNode(); });
    step([this] { LinkOpen = ToVBool(init()); });
}

void Form1::timeout_Timer() {
    timeout.SetEnabled(false);
}

void Form1::timOutput_Timer() {
    prowidget.SendOutputPacket();
}

void Form1::timSacn_Timer() {
    sacn.Tick(std::chrono::steady_clock::now());
}

std::vector<Control*> Form1::AllControls() {
    std::vector<Control*> controls{
        &Frame1,        &DevList,  &Command2,  &Command5, &Label5,     &Label1,        &Command4, &Label2,
        &Label3,        &Label4,   &HScroll1,  &HScroll2, &HScroll3,   &cfg_request,   &Command3, &Frame2,
        &senddmxbutton, &Command1, &LabelTest, &ArtUniv,  &ArtUnivLbl, &ArtDetectedLbl};
    for (auto& label : Label8) controls.push_back(label.get());
    controls.push_back(&StatusBar1);
    for (Timer* timer : AllTimers()) controls.push_back(timer);
    return controls;
}

std::vector<Timer*> Form1::AllTimers() {
    return {&Timer1, &Timer2, &timOutput, &Timer3, &Timer4, &timeout, &timSacn};
}
