#pragma once

#include "platform/qt/datagram_socket.h"
#include "sacn/sacn_socket.h"

// The sACN socket over the Linux build's plain socket, on the interface that VANTOR_ARTNET_INTERFACE names
// (as the Art-Net node's).
class QtSacnSocket : public SacnSocket {
public:
    QtSacnSocket();

    void Open(std::uint16_t universe) override;
    void Close() override;
    bool ReadDatagram(std::vector<std::uint8_t>& datagram) override;
    bool Send(std::span<const std::uint8_t> datagram, std::uint32_t group, std::uint16_t port) override;
    void SetMulticastTtl(int ttl) override;
    std::uint64_t OtherInterfaceDrops() const override { return socket_.OtherInterfaceDrops(); }

private:
    DatagramSocket socket_;
    int ttl_ = 1;
};
