#pragma once

// Stand-ins for what a logic test cannot have: a person at a message box, a port that fails on demand, a
// socket whose datagrams the test hands in and reads back.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "artnet/udp_socket.h"
#include "stuff/event_loop.h"
#include "stuff/message_box.h"
#include "widget/serial_port.h"

class RecordingMessageBox : public MessageBox {
public:
    void Show(const std::string& text) override {
        shown.push_back(text);
        if (whileOpen) {
            open_ = true;
            whileOpen();
            open_ = false;
        }
    }
    bool IsOpen() const override { return open_; }

    std::vector<std::string> shown;
    // Runs while the box is open, as a nested event loop would.
    std::function<void()> whileOpen;

private:
    bool open_ = false;
};

// A serial port in memory: ports listed in `existing` open, the rest fail like missing devices.
class FakeSerialPort : public SerialPort {
public:
    int CommPort() const override { return commPort; }
    void SetCommPort(int port) override;
    bool PortOpen() const override { return open; }
    void SetPortOpen(bool value) override;
    int InBufferCount() override;
    void ClearInBuffer() override { input.clear(); }
    std::vector<std::uint8_t> Input() override;
    void Output(std::span<const std::uint8_t> bytes) override;
    bool NotifiesInput() const override { return announcesInput; }

    // Queues bytes as if the widget had sent them.
    void Receive(const std::vector<std::uint8_t>& bytes) {
        input.insert(input.end(), bytes.begin(), bytes.end());
    }

    int commPort = 1;
    bool open = false;
    std::vector<int> existing{1};
    std::deque<std::uint8_t> input;
    std::vector<std::vector<std::uint8_t>> writes;
    // Writes fail as a device that stopped reading makes them fail: the port closes.
    bool failWrites = false;
    // Reading finds the device gone: the port closes.
    bool vanished = false;
    // As a port that raises an event for its input, so that the receive poll need not tick on its clock.
    bool announcesInput = false;
    // Called after each write, so a test can answer a request the way a widget would.
    std::function<void(const std::vector<std::uint8_t>&)> onWrite;
};

class FakeUdpSocket : public UdpSocket {
public:
    void Bind(std::uint16_t localPort) override;
    void SetRemotePort(std::uint16_t port) override { remotePort = port; }
    void SetRemoteHost(const std::string& address) override { remoteHost = address; }
    std::string LocalIP() const override;
    std::string LocalNetmask() const override { return netmask; }
    void SendData(std::span<const std::uint8_t> datagram) override;
    std::vector<std::uint8_t> GetData() override;
    UdpEndpoint LastSender() const override { return lastSender; }

    // Delivers a datagram as the platform would: queued, then announced.
    void Arrive(const std::vector<std::uint8_t>& datagram);

    struct Sent {
        std::string host;
        std::uint16_t port;
        std::vector<std::uint8_t> bytes;
    };
    std::string localIp = "127.0.0.1";
    std::string netmask = "255.0.0.0";
    bool portTaken = false;
    bool failSends = false;
    std::uint16_t boundPort = 0;
    std::uint16_t remotePort = 0;
    std::string remoteHost;
    std::vector<Sent> sent;
    std::deque<std::vector<std::uint8_t>> pending;
    // Where every arriving datagram comes from.
    UdpEndpoint arrivingFrom{{10, 0, 0, 99}, 6454};
    UdpEndpoint lastSender;
};

// Events run on demand; Sleep only records what was asked.
class FakeEventLoop : public EventLoop {
public:
    void ProcessEvents() override {
        ++processed;
        if (onProcess) onProcess();
    }
    void WaitForEvents(int maxMs) override {
        waitedMs += maxMs;
        ProcessEvents();
    }
    void Sleep(int ms) override { sleptMs.push_back(ms); }
    Clock::time_point Now() const override { return now; }

    // Moves only when a test moves it.
    Clock::time_point now{};
    int processed = 0;
    int waitedMs = 0;
    std::vector<int> sleptMs;
    std::function<void()> onProcess;
};
