#pragma once

#include <QHostAddress>
#include <QUdpSocket>
#include <deque>

#include "artnet/udp_socket.h"
#include "artnet/interface_choice.h"

// The socket control over QUdpSocket. Arrived datagrams are queued as they come and announced one by one
// through DataArrival; GetData hands them out in order.
class QtUdpSocket : public UdpSocket {
public:
    // Datagrams kept for a handler that does not read them; older ones are dropped first.
    static constexpr std::size_t kMaxQueued = 256;

    QtUdpSocket();

    void Bind(std::uint16_t localPort) override;
    void SetRemotePort(std::uint16_t port) override { remotePort_ = port; }
    void SetRemoteHost(const std::string& dottedAddress) override;
    std::string LocalIP() const override;
    std::string LocalNetmask() const override;
    void SendData(std::span<const std::uint8_t> datagram) override;
    std::vector<std::uint8_t> GetData() override;
    UdpEndpoint LastSender() const override { return lastSender_; }

    // The machine's addresses as the interface choice sees them.
    static std::vector<InterfaceAddress> MachineAddresses();

private:
    void ReadPendingDatagrams();
    InterfaceAddress ChosenAddress() const;

    QUdpSocket socket_;
    QHostAddress remoteHost_;
    std::uint16_t remotePort_ = 0;
    struct Queued {
        std::vector<std::uint8_t> bytes;
        UdpEndpoint sender;
    };
    std::deque<Queued> queued_;
    UdpEndpoint lastSender_;
};
