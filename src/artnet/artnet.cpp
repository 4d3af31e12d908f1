#include "artnet/artnet.h"

#include <exception>

#include "artnet/node_address.h"

ArtNet::ArtNet(UdpSocket& socket, BridgeSettings& bridge, DmxOutput& output, LogSink log)
    : socket_(socket), bridge_(bridge), output_(output), log_(std::move(log)) {}

void ArtNet::ArtNetLog(const std::string& message) {
    if (log_) log_(message);
}

std::int32_t ArtNet::StartArtNetNode() {
    try {
        socket_.Bind(kArtNetPort);
        socket_.SetRemotePort(kArtNetPort);
        const std::string localIp = socket_.LocalIP();
        // The netmask matters only off the Art-Net networks, where its absence is reported by the plan.
        std::string netmask;
        try {
            netmask = socket_.LocalNetmask();
        } catch (const SocketError&) {
        }
        const NodeAddressPlan plan =
            PlanNodeAddress(localIp, netmask, [this](const std::string& line) { ArtNetLog(line); });
        NodeAddress = plan.NodeAddress;
        BroadcastAddress = plan.BroadcastAddress;
        ArtNetLog("Art-Net Node Started...");
        return 1;
    } catch (const std::exception& failure) {
        ArtNetLog(std::string(kArtNetInitErrorPrefix) + failure.what());
        return 0;
    }
}
