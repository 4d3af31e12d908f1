#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "artnet/udp_socket.h"
#include "stuff/bridge_settings.h"
#include "stuff/dmx_output.h"

inline constexpr std::uint16_t kArtNetPort = 6454;

// The Art-Net node: its records, one per loaded plug-in, and the procedures over them.
class ArtNet {
public:
    using LogSink = std::function<void(const std::string& line)>;

    ArtNet(UdpSocket& socket, BridgeSettings& bridge, DmxOutput& output, LogSink log);

    std::string BroadcastAddress;
    std::array<std::uint8_t, 6> NodeAddress{};
    std::int32_t ArtNetDetected = 0;

    std::int32_t StartArtNetNode();
    void ArtNetLog(const std::string& message);
    void HandleArtNetPacket(std::span<const std::uint8_t> datagram);
    void SendArtPollReply();
    void SendArtDmx(std::uint8_t universe, std::span<const std::uint8_t, 513> levels);

private:
    UdpSocket& socket_;
    BridgeSettings& bridge_;
    DmxOutput& output_;
    LogSink log_;
};
