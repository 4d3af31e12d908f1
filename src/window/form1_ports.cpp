#include <algorithm>
#include <cctype>
#include <cmath>
#include <exception>
#include <stdexcept>
#include <string>

#include "widget/reply_results.h"
#include "window/form1.h"

namespace {

constexpr int kReplyWaitMs = 100;
const std::string kWidgetEntryPrefix = "Pro Widget - Com:  ";
const std::string kPortEntryPrefix = "Com:  ";

// A port list entry's number: its last two characters read as a number, blanks ignored, an entry without
// digits there reading as 0, rounded half to even.
int PortOfEntry(const std::string& entry) {
    const std::string tail = entry.size() >= 2 ? entry.substr(entry.size() - 2) : entry;
    std::string number;
    for (char c : tail) {
        if (std::isspace(static_cast<unsigned char>(c))) continue;
        if (std::isdigit(static_cast<unsigned char>(c)) ||
            (c == '.' && number.find('.') == std::string::npos) || ((c == '-' || c == '+') && number.empty()))
            number += c;
        else
            break;
    }
    double value = 0;
    try {
        value = std::stod(number);
    } catch (const std::exception&) {
    }
    return static_cast<int>(std::nearbyint(value));
}

template <typename Step>
void Ignoring(Step&& step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

}  // namespace

void Form1::CloseLinkPort() {
    Ignoring([this] {
        if (MSComm1.PortOpen()) MSComm1.SetPortOpen(false);
    });
    LinkOpen = kFalse;
    DropCarriedFrame();
    sacn.EndStream();
}

void Form1::NoticeClosedLink(const std::string& failure) {
    if (!FromVBool(LinkOpen) || MSComm1.PortOpen()) return;
    LinkOpen = kFalse;
    DropCarriedFrame();
    sacn.EndStream();
    if (!failure.empty()) prowidget.ReportFailure(failure);
}

// Probes ports 1 to 16 for widgets. The wait is a blocking sleep so that the receive poll cannot take the
// reply away from the scan. A failing step is dropped and the next one runs.
void Form1::ScanPorts() {
    CloseLinkPort();
    DevList.Clear();
    for (int port = 1; port <= kPortCount; ++port)
        if (ProbePort(port)) DevList.AddItem(kWidgetEntryPrefix + std::to_string(port));
}

bool Form1::ProbePort(int port) {
    Ignoring([&] { MSComm1.SetCommPort(port); });
    Ignoring([&] { MSComm1.SetPortOpen(true); });
    bool open = false;
    Ignoring([&] { open = MSComm1.PortOpen(); });
    PortOpened[static_cast<std::size_t>(port)] = ToVBool(open);
    ScanReplies[static_cast<std::size_t>(port)].reset();
    if (!open) return false;
    prowidget.SendGetParameters();
    services_.Events.Sleep(kReplyWaitMs);
    // A widget left in receive mode keeps streaming its reports around the reply: the reply is looked for
    // among every frame that came.
    bool found = false;
    FrameAssembler frames([&](std::vector<std::uint8_t>& frame) {
        if (found || frame[1] != kLabelGetParameters) return;
        if (prowidget.ParseWidgetReply(frame) != kLabelGetParameters) return;
        const auto& parameters = prowidget.WidgetParameters;
        ScanReplies[static_cast<std::size_t>(port)] =
            FirmwareVersion{parameters.FirmwareMsb, parameters.FirmwareLsb};
        found = parameters.FirmwareMsb >= 1;
    });
    Ignoring([&] {
        if (MSComm1.InBufferCount() > 0) frames.Feed(MSComm1.Input(), services_.Events.Now());
    });
    Ignoring([&] { MSComm1.SetPortOpen(false); });
    return found;
}

void Form1::SearchPort(int port) {
    if (port < 1 || port > kPortCount)
        throw std::out_of_range("Port " + std::to_string(port) + " is outside 1 to 16");
    CloseLinkPort();
    if (!ProbePort(port)) return;
    const auto& items = DevList.Items();
    const bool listed = std::any_of(items.begin(), items.end(),
                                    [&](const std::string& item) { return PortOfEntry(item) == port; });
    if (!listed) DevList.AddItem(kWidgetEntryPrefix + std::to_string(port));
}

// "Search"
void Form1::Command2_Click() {
    Timer3.SetEnabled(false);
    services_.Events.ProcessEvents();
    ScanPorts();
}

// "Show Ports"
void Form1::Command5_Click() {
    DevList.Clear();
    for (int port = 1; port <= kPortCount; ++port) DevList.AddItem(kPortEntryPrefix + std::to_string(port));
}

void Form1::DevList_Click() {
    ChoosePort(PortOfEntry(DevList.Text()));
}

void Form1::ChoosePort(int port) {
    Label5.SetCaption("Current Port: " + std::to_string(port));
    const bool numbered = port >= 1 && port <= kPortCount;
    if (numbered && !FromVBool(PortOpened[static_cast<std::size_t>(port)])) return;
    if (numbered && port != MSComm1.CommPort()) {
        CloseLinkPort();
        // Closing the port ends a firmware update's wait; the rest of its pages must not go to another
        // device, so the new port opens once the update has ended.
        if (updatingFirmware_) {
            portChosenDuringUpdate_ = port;
            return;
        }
    }
    Ignoring([&] { MSComm1.SetCommPort(port); });
    Ignoring([&] { LinkOpen = ToVBool(init()); });
    if (FromVBool(LinkOpen)) cfg_request_Click();
}

bool Form1::init() {
    if (!MSComm1.PortOpen()) {
        MSComm1.SetPortOpen(true);
        DropCarriedFrame();
    }
    return MSComm1.PortOpen();
}

bool Form1::SelectPort(int port) {
    if (port < 1 || port > kPortCount)
        throw std::out_of_range("Port " + std::to_string(port) + " is outside 1 to 16");
    const auto& items = DevList.Items();
    const auto entry = std::find_if(items.begin(), items.end(),
                                    [&](const std::string& item) { return PortOfEntry(item) == port; });
    const int index = entry == items.end() ? -1 : static_cast<int>(entry - items.begin());
    // Selecting a listed entry shows the choice; re-selecting the selected one raises no change.
    if (index >= 0 && DevList.ListIndex() != index)
        DevList.SetListIndex(index);
    else
        ChoosePort(port);
    return FromVBool(LinkOpen) && MSComm1.PortOpen() && MSComm1.CommPort() == port;
}
