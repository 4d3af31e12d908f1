#pragma once

// The window over fakes for the bridge's tests: widget messages prepared as at load, the port open or not.

#include <string>
#include <vector>

#include "support/fakes.h"
#include "window/form1.h"

// A socket whose next reads fail, as a socket in error would.
struct FailingReadSocket : FakeUdpSocket {
    std::vector<std::uint8_t> GetData() override {
        if (failReads > 0) {
            --failReads;
            throw SocketError("Connection refused");
        }
        return FakeUdpSocket::GetData();
    }
    int failReads = 0;
};

struct BridgeWindow {
    explicit BridgeWindow(bool linkOpen) {
        form.prowidget.InitWidgetPackets();
        port.open = linkOpen;
        form.LinkOpen = ToVBool(linkOpen);
    }
    FakeSerialPort port;
    FailingReadSocket socket;
    RecordingMessageBox box;
    FakeEventLoop events;
    std::vector<std::string> log;
    Form1 form{WindowServices{.MSComm1 = port,
                              .ArtSocket = socket,
                              .Messages = box,
                              .Events = events,
                              .ArtNetLog = [this](const std::string& line) { log.push_back(line); },
                              .LibraryFolder = ""}};
};
