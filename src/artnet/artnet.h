#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "artnet/artnet_packets.h"
#include "artnet/udp_socket.h"
#include "stuff/bridge_settings.h"
#include "stuff/dmx_output.h"

// How the log line of a node that could not start begins; the platform shows such lines as warnings.
inline constexpr std::string_view kArtNetInitErrorPrefix = "! Art-Net Init Error: ";

// The Art-Net node: its records, one per loaded plug-in, and the procedures over them.
class ArtNet {
public:
    using LogSink = std::function<void(const std::string& line)>;

    ArtNet(UdpSocket& socket, BridgeSettings& bridge, DmxOutput& output, LogSink log);

    // Where every datagram goes; empty until start-up has chosen it, and nothing is sent while it is.
    std::string BroadcastAddress;
    // The node's IPv4 octets, then the port low byte first.
    std::array<std::uint8_t, 6> NodeAddress{};
    std::int32_t ArtNetDetected = 0;
    // ArtDmx taken for the universe, and sent, for a host's status display.
    std::uint64_t ArtDmxReceived = 0;
    std::uint64_t ArtDmxSent = 0;
    // ArtDmx of any universe that arrived while sACN was chosen: they change nothing.
    std::uint64_t ArtDmxIgnoredForSacn = 0;

    // The reply keeps its mode-dependent bytes from one build to the next.
    PollReplyRecord PollReply{};
    // The last ArtPoll and ArtDmx received, bytes past a short datagram's end as zero.
    ArtPollRecord ArtPollPacket{};
    ArtDmxRecord ArtDmxPacket{};

    // Returns 1 when started, 0 when a step failed (logged).
    std::int32_t StartArtNetNode();
    void ArtNetLog(const std::string& message);
    // A failure while handling the datagram ends that datagram only and is logged.
    void HandleArtNetPacket(std::span<const std::uint8_t> datagram);
    // True for a datagram from the node's own address and port: its own broadcast, come back to its socket.
    // Taken as input, a forwarded frame would be written into the output levels (and echoed to the widget's
    // output in send mode), and its own poll reply would count as Art-Net seen.
    bool IsOwnDatagram(const UdpEndpoint& sender) const;
    void BuildArtPollReply();
    // Both senders throw SocketError when the socket refuses the datagram.
    void SendArtPollReply();
    void SendArtDmx(std::uint8_t universe, std::span<const std::uint8_t, 513> levels);

private:
    void DispatchArtNetPacket(std::span<const std::uint8_t> datagram);
    void TakeArtDmx(std::span<const std::uint8_t> datagram);
    // False when there is no address to send to yet (nothing is sent).
    bool BroadcastSend(std::span<const std::uint8_t> image);

    UdpSocket& socket_;
    BridgeSettings& bridge_;
    DmxOutput& output_;
    LogSink log_;
};
