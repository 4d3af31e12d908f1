#pragma once

#include <QHostAddress>
#include <array>
#include <memory>
#include <string>

#include "artnet/interface_choice.h"
#include "artnet/udp_socket.h"
#include "platform/qt/datagram_socket.h"

// The socket control over the Linux build's plain socket. Arrived datagrams are queued as they come and
// announced one by one through DataArrival; GetData and ReadDatagram hand them out in order. The queue's
// slots keep their storage, so a steady stream of datagrams allocates nothing.
class QtUdpSocket : public UdpSocket {
public:
    // Datagrams kept for a handler that does not read them; older ones are dropped first.
    static constexpr std::size_t kMaxQueued = 256;

    QtUdpSocket();
    QtUdpSocket(const QtUdpSocket&) = delete;
    QtUdpSocket& operator=(const QtUdpSocket&) = delete;

    // With an interface named, only what arrives on it is taken from then on.
    void Bind(std::uint16_t localPort) override;
    void SetRemotePort(std::uint16_t port) override { remotePort_ = port; }
    void SetRemoteHost(const std::string& dottedAddress) override;
    std::string LocalIP() const override;
    std::string LocalNetmask() const override;
    void SendData(std::span<const std::uint8_t> datagram) override;
    std::vector<std::uint8_t> GetData() override;
    bool ReadDatagram(std::vector<std::uint8_t>& datagram) override;
    UdpEndpoint LastSender() const override { return lastSender_; }
    std::uint64_t OtherInterfaceDrops() const override { return socket_.OtherInterfaceDrops(); }

    // The machine's addresses as the interface choice sees them.
    static std::vector<InterfaceAddress> MachineAddresses();
    // The interface both sockets use: VANTOR_ARTNET_INTERFACE's choice. SocketError when there is none.
    static InterfaceChoice ChosenInterface();

private:
    struct Queued {
        std::vector<std::uint8_t> bytes;
        UdpEndpoint sender;
    };

    void ReadPendingDatagrams();
    // The next pending datagram and its sender into the slot; false when none is pending.
    bool ReadOneDatagram(Queued& into);

    DatagramSocket socket_;
    // Every datagram is received here first: no slot needs room for the largest one.
    std::unique_ptr<std::uint8_t[]> scratch_;
    QHostAddress remoteHost_;
    // The text remoteHost_ was parsed from: every send names the same broadcast address again.
    std::string remoteHostText_;
    std::uint16_t remotePort_ = 0;
    // A ring of kMaxQueued slots: queuedCount_ datagrams from slot queuedHead_ on.
    std::array<Queued, kMaxQueued> queued_;
    std::size_t queuedHead_ = 0;
    std::size_t queuedCount_ = 0;
    bool announcing_ = false;
    UdpEndpoint lastSender_;
};
