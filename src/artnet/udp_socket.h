#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

// Where a datagram came from: an IPv4 address, first octet first, and a port.
struct UdpEndpoint {
    std::array<std::uint8_t, 4> Address{};
    std::uint16_t Port = 0;
    bool operator==(const UdpEndpoint&) const = default;
};

// A failure of the socket control, carrying the control's description.
class SocketError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The window's UDP socket control as the Art-Net node relies on it. Datagrams are read and sent whole; every
// failure is thrown as SocketError.
class UdpSocket {
public:
    virtual ~UdpSocket() = default;
    // Binds the local port on every IPv4 address, exclusively: a port already taken is thrown.
    virtual void Bind(std::uint16_t localPort) = 0;
    virtual void SetRemotePort(std::uint16_t port) = 0;
    virtual void SetRemoteHost(const std::string& dottedAddress) = 0;
    // The machine's local IPv4 address as dotted text; thrown when there is none.
    virtual std::string LocalIP() const = 0;
    // The netmask of the interface that holds LocalIP, as dotted text.
    virtual std::string LocalNetmask() const = 0;
    virtual void SendData(std::span<const std::uint8_t> datagram) = 0;
    // The whole pending datagram; it is removed. Empty when none is pending.
    virtual std::vector<std::uint8_t> GetData() = 0;
    // The same into datagram, whose storage is reused; false when none is pending. Its sender becomes
    // LastSender, as with GetData.
    virtual bool ReadDatagram(std::vector<std::uint8_t>& datagram) {
        datagram = GetData();
        return !datagram.empty();
    }
    // The sender of the datagram that GetData returned last, so that the node can tell its own broadcasts,
    // which come back to its socket, from other nodes' datagrams.
    virtual UdpEndpoint LastSender() const = 0;
    virtual std::uint64_t OtherInterfaceDrops() const { return 0; }

    // Raised once for each arrived datagram with its byte count, on the window's thread.
    std::function<void(std::size_t bytesTotal)> DataArrival;
};
