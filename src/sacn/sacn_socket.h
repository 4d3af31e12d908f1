#pragma once

#include <cstdint>
#include <functional>
#include <vector>

// The platform's sACN socket as the bridge relies on it: UDP 5568, the group of one universe joined on the
// chosen interface only, unicast to the node's address taken too. Failures are thrown as SocketError.
class SacnSocket {
public:
    virtual ~SacnSocket() = default;
    // Binds the port (again) and joins the universe's group; a group joined before is left.
    virtual void Open(std::uint16_t universe) = 0;
    virtual void Close() = 0;
    // The whole pending datagram into datagram, whose storage is reused; false when none is pending.
    virtual bool ReadDatagram(std::vector<std::uint8_t>& datagram) = 0;

    // Raised when datagrams have arrived, on the window's thread.
    std::function<void()> DataArrival;
};
