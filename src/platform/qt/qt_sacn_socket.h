#pragma once

#include <QHostAddress>
#include <QNetworkInterface>
#include <QUdpSocket>
#include <QVariant>

#include "sacn/sacn_socket.h"

// The sACN socket over QUdpSocket, on the interface that VANTOR_ARTNET_INTERFACE names (as the Art-Net
// node's).
class QtSacnSocket : public SacnSocket {
public:
    QtSacnSocket();

    void Open(std::uint16_t universe) override;
    void Close() override;
    bool ReadDatagram(std::vector<std::uint8_t>& datagram) override;
    bool Send(std::span<const std::uint8_t> datagram, std::uint32_t group, std::uint16_t port) override;
    void SetMulticastTtl(int ttl) override;

private:
    QUdpSocket socket_;
    int ttl_ = 1;
};
