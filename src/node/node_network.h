#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "artnet/udp_socket.h"

// An IPv4 address as people write it, first octet first.
inline std::string AddressText(const std::array<std::uint8_t, 4>& address) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) +
           "." + std::to_string(address[3]);
}

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
