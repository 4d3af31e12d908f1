#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "artnet/udp_socket.h"

// The node's two sockets as its logic reaches them, on the one interface it was given.
class NodeNetwork {
public:
    virtual ~NodeNetwork() = default;
    // To the interface's broadcast address, or to one peer; false when the datagram did not leave.
    virtual bool SendArtNet(std::span<const std::uint8_t> datagram, std::optional<UdpEndpoint> to) = 0;
    // To an IPv4 group (host byte order) with this multicast TTL; false when it did not leave.
    virtual bool SendSacn(std::span<const std::uint8_t> datagram, std::uint32_t group, int ttl) = 0;
    // The universes whose groups the sACN socket is in; a failure to join is thrown as SocketError.
    virtual void JoinSacnUniverse(std::uint16_t universe) = 0;
    virtual void LeaveSacnUniverse(std::uint16_t universe) = 0;
};
