#include "platform/qt/qt_udp_socket.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <optional>


QtUdpSocket::QtUdpSocket() {
    QObject::connect(&socket_, &QUdpSocket::readyRead, [this] { ReadPendingDatagrams(); });
}

void QtUdpSocket::Bind(std::uint16_t localPort) {
    if (!socket_.bind(QHostAddress::AnyIPv4, localPort, QAbstractSocket::DontShareAddress)) {
        const std::string why = socket_.errorString().toStdString();
        socket_.abort();
        throw SocketError(why);
    }
}

void QtUdpSocket::SetRemoteHost(const std::string& dottedAddress) {
    QHostAddress address;
    if (!address.setAddress(QString::fromStdString(dottedAddress)) ||
        address.protocol() != QAbstractSocket::IPv4Protocol)
        throw SocketError("Invalid remote host: " + dottedAddress);
    remoteHost_ = address;
}

std::vector<InterfaceAddress> QtUdpSocket::MachineAddresses() {
    std::vector<InterfaceAddress> addresses;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol) continue;
            addresses.push_back({interface.name().toStdString(), entry.ip().toString().toStdString(),
                                 entry.netmask().toString().toStdString(),
                                 flags.testFlag(QNetworkInterface::IsUp),
                                 flags.testFlag(QNetworkInterface::IsRunning),
                                 flags.testFlag(QNetworkInterface::IsLoopBack)});
        }
    }
    return addresses;
}

InterfaceAddress QtUdpSocket::ChosenAddress() const {
    std::optional<std::string> wanted;
    if (qEnvironmentVariableIsSet("VANTOR_ARTNET_INTERFACE"))
        wanted = qEnvironmentVariable("VANTOR_ARTNET_INTERFACE").trimmed().toStdString();
    const auto chosen = ChooseInterfaceAddress(MachineAddresses(), wanted);
    if (!chosen) {
        if (wanted) throw SocketError("No IPv4 address on interface " + *wanted);
        throw SocketError("No IPv4 address on any interface that is up");
    }
    return *chosen;
}

std::string QtUdpSocket::LocalIP() const {
    return ChosenAddress().ip;
}
std::string QtUdpSocket::LocalNetmask() const {
    return ChosenAddress().netmask;
}

void QtUdpSocket::SendData(std::span<const std::uint8_t> datagram) {
    if (remoteHost_.isNull()) throw SocketError("No remote host");
    const QByteArray bytes(reinterpret_cast<const char*>(datagram.data()),
                           static_cast<qsizetype>(datagram.size()));
    if (socket_.writeDatagram(bytes, remoteHost_, remotePort_) != bytes.size())
        throw SocketError(socket_.errorString().toStdString());
}

namespace {

UdpEndpoint SenderOf(const QNetworkDatagram& datagram) {
    UdpEndpoint sender;
    bool isIPv4 = false;
    const quint32 address = datagram.senderAddress().toIPv4Address(&isIPv4);
    if (isIPv4)
        sender.Address = {static_cast<std::uint8_t>(address >> 24), static_cast<std::uint8_t>(address >> 16),
                          static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
    sender.Port = static_cast<std::uint16_t>(datagram.senderPort());
    return sender;
}

}  // namespace

void QtUdpSocket::ReadPendingDatagrams() {
    std::size_t arrived = 0;
    while (socket_.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket_.receiveDatagram();
        const QByteArray bytes = datagram.data();
        if (queued_.size() >= kMaxQueued) queued_.pop_front();
        queued_.push_back({{bytes.begin(), bytes.end()}, SenderOf(datagram)});
        ++arrived;
    }
    // Announced after reading, so that a handler reads exactly the datagram it is told about.
    const std::size_t first = queued_.size() - std::min(arrived, queued_.size());
    std::vector<std::size_t> sizes;
    for (std::size_t index = first; index < queued_.size(); ++index)
        sizes.push_back(queued_[index].bytes.size());
    for (std::size_t size : sizes)
        if (DataArrival) DataArrival(size);
}

std::vector<std::uint8_t> QtUdpSocket::GetData() {
    if (queued_.empty() && socket_.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket_.receiveDatagram();
        lastSender_ = SenderOf(datagram);
        const QByteArray bytes = datagram.data();
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    }
    lastSender_ = {};
    if (queued_.empty()) return {};
    Queued datagram = std::move(queued_.front());
    queued_.pop_front();
    lastSender_ = datagram.sender;
    return std::move(datagram.bytes);
}
