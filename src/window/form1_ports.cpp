#include <cctype>
#include <cmath>
#include <exception>
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
    receiveFrames_.Reset();
}

// Probes ports 1 to 16 for widgets. The wait is a blocking sleep so that the receive poll cannot take the
// reply away from the scan. A failing step is dropped and the next one runs.
void Form1::ScanPorts() {
    CloseLinkPort();
    DevList.Clear();
    for (int port = 1; port <= kPortCount; ++port) {
        Ignoring([&] { MSComm1.SetCommPort(port); });
        Ignoring([&] { MSComm1.SetPortOpen(true); });
        bool open = false;
        Ignoring([&] { open = MSComm1.PortOpen(); });
        PortOpened[static_cast<std::size_t>(port)] = ToVBool(open);
        ScanReplies[static_cast<std::size_t>(port)].reset();
        if (!open) continue;
        prowidget.SendGetParameters();
        services_.Events.Sleep(kReplyWaitMs);
        Ignoring([&] {
            if (MSComm1.InBufferCount() <= 0) return;
            std::vector<std::uint8_t> text = MSComm1.Input();
            if (prowidget.ParseWidgetReply(text) != kLabelGetParameters) return;
            const auto& parameters = prowidget.WidgetParameters;
            ScanReplies[static_cast<std::size_t>(port)] =
                FirmwareVersion{parameters.FirmwareMsb, parameters.FirmwareLsb};
            if (parameters.FirmwareMsb >= 1) DevList.AddItem(kWidgetEntryPrefix + std::to_string(port));
        });
        Ignoring([&] { MSComm1.SetPortOpen(false); });
    }
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
    const int port = PortOfEntry(DevList.Text());
    Label5.SetCaption("Current Port: " + std::to_string(port));
    const bool numbered = port >= 1 && port <= kPortCount;
    if (numbered && !FromVBool(PortOpened[static_cast<std::size_t>(port)])) return;
    if (numbered && port != MSComm1.CommPort()) CloseLinkPort();
    Ignoring([&] { MSComm1.SetCommPort(port); });
    Ignoring([&] { LinkOpen = ToVBool(init()); });
    if (FromVBool(LinkOpen)) cfg_request_Click();
}

bool Form1::init() {
    if (!MSComm1.PortOpen()) {
        MSComm1.SetPortOpen(true);
        receiveFrames_.Reset();
    }
    return MSComm1.PortOpen();
}

void Form1::SelectPort(int port) {
    auto entryIndex = [&]() -> int {
        const auto& items = DevList.Items();
        for (std::size_t i = 0; i < items.size(); ++i)
            if (PortOfEntry(items[i]) == port) return static_cast<int>(i);
        return -1;
    };
    int index = entryIndex();
    if (index < 0) {
        Command5_Click();
        index = entryIndex();
    }
    if (index < 0) return;
    if (DevList.ListIndex() == index)
        DevList_Click();  // re-choosing the selected entry raises no change
    else
        DevList.SetListIndex(index);
}
