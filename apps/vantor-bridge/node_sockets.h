#pragma once

#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "artnet/interface_choice.h"
#include "node/node_network.h"
#include "platform/qt/datagram_socket.h"

// The node's one Art-Net socket and one sACN socket, on the interface it was given: what arrives on another
// interface is dropped (and counted), and what it sends leaves by that interface.
class NodeSockets : public NodeNetwork {
public:
    using ArtNetArrival = std::function<void(std::span<const std::uint8_t>, const UdpEndpoint&)>;
    using SacnArrival = std::function<void(std::span<const std::uint8_t>)>;

    explicit NodeSockets(const InterfaceChoice& chosen);

    // Binds both ports; SocketError with the reason when one cannot be had.
    void Open(ArtNetArrival artNet, SacnArrival sacn);

    bool SendArtNet(std::span<const std::uint8_t> datagram, std::optional<UdpEndpoint> to) override;
    bool SendSacn(std::span<const std::uint8_t> datagram, std::uint32_t group, int ttl) override;
    void JoinSacnUniverse(std::uint16_t universe) override;
    void LeaveSacnUniverse(std::uint16_t universe) override;

    std::uint64_t OtherInterfaceDrops() const {
        return artNet_.OtherInterfaceDrops() + sacn_.OtherInterfaceDrops();
    }

private:
    void ReadArtNet();
    void ReadSacn();
    void Membership(int option, std::uint16_t universe);

    InterfaceChoice chosen_;
    in_addr address_{};
    in_addr broadcast_{};
    DatagramSocket artNet_;
    DatagramSocket sacn_;
    ArtNetArrival artNetArrival_;
    SacnArrival sacnArrival_;
    int ttl_ = 1;
    std::array<std::uint8_t, 2048> buffer_{};
};
