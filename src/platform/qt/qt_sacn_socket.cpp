#include "platform/qt/qt_sacn_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <optional>
#include <string>

#include "artnet/interface_choice.h"
#include "artnet/udp_socket.h"
#include "platform/qt/qt_udp_socket.h"
#include "sacn/sacn_packets.h"
#include "sacn/sacn_sender.h"

namespace {

QHostAddress GroupOf(std::uint16_t universe) {
    return QHostAddress(SacnGroupOf(universe));
}

QNetworkInterface ChosenInterface() {
    std::optional<std::string> wanted;
    if (qEnvironmentVariableIsSet("VANTOR_ARTNET_INTERFACE"))
        wanted = qEnvironmentVariable("VANTOR_ARTNET_INTERFACE").trimmed().toStdString();
    const auto chosen = ChooseInterfaceAddress(QtUdpSocket::MachineAddresses(), wanted);
    if (!chosen)
        throw SocketError("sACN: no IPv4 address on " + (wanted ? "interface " + *wanted : "any interface"));
    const QNetworkInterface interface =
        QNetworkInterface::interfaceFromName(QString::fromStdString(chosen->interfaceName));
    if (!interface.isValid()) throw SocketError("sACN: no interface " + chosen->interfaceName);
    return interface;
}

}  // namespace

QtSacnSocket::QtSacnSocket() {
    QObject::connect(&socket_, &QUdpSocket::readyRead, [this] {
        if (DataArrival) DataArrival();
    });
}

// Bound anew for each universe, so that no group of another universe stays joined.
void QtSacnSocket::Open(std::uint16_t universe) {
    Close();
    const QNetworkInterface interface = ChosenInterface();
    // Shared: another receiver on this machine (a visualiser, OLA) may listen to the same universe.
    if (!socket_.bind(QHostAddress::AnyIPv4, kSacnPort,
                      QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint))
        throw SocketError("sACN: " + socket_.errorString().toStdString());
    // Linux hands a socket bound to any address the groups that other sockets joined; only ours are wanted.
    const int off = 0;
    ::setsockopt(static_cast<int>(socket_.socketDescriptor()), IPPROTO_IP, IP_MULTICAST_ALL, &off,
                 sizeof off);
    if (!socket_.joinMulticastGroup(GroupOf(universe), interface)) {
        const std::string why = socket_.errorString().toStdString();
        socket_.abort();
        throw SocketError("sACN: cannot join " + GroupOf(universe).toString().toStdString() + " on " +
                          interface.name().toStdString() + ": " + why);
    }
    socket_.setMulticastInterface(interface);
    socket_.setSocketOption(QAbstractSocket::MulticastTtlOption, ttl_);
}

void QtSacnSocket::Close() {
    socket_.abort();
}

bool QtSacnSocket::ReadDatagram(std::vector<std::uint8_t>& datagram) {
    const qint64 size = socket_.pendingDatagramSize();
    if (size < 0) {
        datagram.clear();
        return false;
    }
    // Storage reserved once holds every datagram the receiver takes; a longer one is ignored by its size.
    datagram.resize(static_cast<std::size_t>(size));
    const qint64 got = socket_.readDatagram(reinterpret_cast<char*>(datagram.data()), size);
    datagram.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return got >= 0;
}

// Straight to the descriptor: QHostAddress and Qt's datagram path would allocate for every packet.
bool QtSacnSocket::Send(std::span<const std::uint8_t> datagram, std::uint32_t group, std::uint16_t port) {
    if (socket_.state() != QAbstractSocket::BoundState) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(group);
    const ssize_t sent =
        ::sendto(static_cast<int>(socket_.socketDescriptor()), datagram.data(), datagram.size(), MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent == static_cast<ssize_t>(datagram.size());
}

void QtSacnSocket::SetMulticastTtl(int ttl) {
    ttl_ = ttl;
    if (socket_.state() == QAbstractSocket::BoundState)
        socket_.setSocketOption(QAbstractSocket::MulticastTtlOption, ttl_);
}
