#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// The platform's sACN socket as the bridge relies on it: UDP 5568, the group of one universe joined on the
// chosen interface only, unicast to the node's address taken too; what it sends to a group leaves by that
// same interface. Failures are thrown as SocketError.
class SacnSocket {
public:
    virtual ~SacnSocket() = default;
    // Binds the port (again) and joins the universe's group; a group joined before is left.
    virtual void Open(std::uint16_t universe) = 0;
    virtual void Close() = 0;
    // The whole pending datagram into datagram, whose storage is reused; false when none is pending.
    virtual bool ReadDatagram(std::vector<std::uint8_t>& datagram) = 0;
    // One datagram to an IPv4 group (host byte order) on the chosen interface, from the open socket; false
    // when it did not leave (closed, or the network refused it). Never allocates.
    virtual bool Send(std::span<const std::uint8_t> datagram, std::uint32_t group, std::uint16_t port) = 0;
    // The multicast TTL (1 to 255) of what is sent from now on; kept across Open and Close.
    virtual void SetMulticastTtl(int ttl) = 0;
    virtual std::uint64_t OtherInterfaceDrops() const { return 0; }

    // Raised when datagrams have arrived, on the window's thread.
    std::function<void()> DataArrival;
};
