#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <string>
#include <vector>

#include "artnet/artnet.h"
#include "support/fakes.h"
#include "widget/prowidget.h"

using Bytes = std::vector<std::uint8_t>;

// The mode, protocol and universe as the window would hold them.
struct TestBridge : BridgeSettings {
    bool IsSendMode() const override { return sendMode; }
    BridgeProtocol Protocol() const override { return protocol; }
    std::uint8_t UniverseSetting() const override { return universe; }
    bool sendMode = false;
    BridgeProtocol protocol = BridgeProtocol::ArtNet;
    std::uint8_t universe = 0;
};

// A node over the real widget module, on an open fake serial port and a fake socket.
struct NodeOnFakes {
    NodeOnFakes() {
        port.open = true;
        widget.InitWidgetPackets();
    }
    // Starts the node on a 10.x address unless the socket was set up otherwise, and forgets the start-up
    // lines.
    void Start(const std::string& localIp = "10.1.2.3", const std::string& netmask = "255.0.0.0") {
        socket.localIp = localIp;
        socket.netmask = netmask;
        node.StartArtNetNode();
        log.clear();
    }

    FakeUdpSocket socket;
    FakeSerialPort port;
    RecordingMessageBox box;
    ProWidget widget{port, box};
    TestBridge bridge;
    std::vector<std::string> log;
    ArtNet node{socket, bridge, widget, [this](const std::string& line) { log.push_back(line); }};
};

// The identifier and OpCode, followed by `rest` zero bytes.
inline Bytes ArtNetHead(std::uint16_t opCode, std::size_t rest = 0) {
    Bytes datagram{'A',
                   'r',
                   't',
                   '-',
                   'N',
                   'e',
                   't',
                   0,
                   static_cast<std::uint8_t>(opCode & 0xFF),
                   static_cast<std::uint8_t>(opCode >> 8)};
    datagram.resize(datagram.size() + rest, 0);
    return datagram;
}

inline Bytes ArtPollDatagram() {
    Bytes datagram = ArtNetHead(0x2000, 4);
    datagram[11] = 14;
    datagram[12] = 0x02;
    return datagram;
}

// An ArtDmx as another node sends it (sequence 1); channel n carries levelOf(n).
template <std::invocable<int> LevelOf>
Bytes ArtDmxDatagram(std::uint8_t subUni, std::uint8_t net, LevelOf levelOf) {
    Bytes datagram = ArtNetHead(0x5000, 520);
    datagram[11] = 14;
    datagram[12] = 1;
    datagram[14] = subUni;
    datagram[15] = net;
    datagram[16] = 0x02;
    for (int channel = 1; channel <= 512; ++channel)
        datagram[17 + static_cast<std::size_t>(channel)] = levelOf(channel);
    return datagram;
}

inline Bytes ArtDmxDatagram(std::uint8_t subUni, std::uint8_t net, std::uint8_t level) {
    return ArtDmxDatagram(subUni, net, [level](int) { return level; });
}
