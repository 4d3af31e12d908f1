#include "platform/qt/qt_udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QNetworkInterface>
#include <cerrno>
#include <cstring>
#include <optional>

#include "stuff/scoped_flag.h"

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
    if (dottedAddress == remoteHostText_ && !remoteHost_.isNull()) return;
    QHostAddress address;
    if (!address.setAddress(QString::fromStdString(dottedAddress)) ||
        address.protocol() != QAbstractSocket::IPv4Protocol)
        throw SocketError("Invalid remote host: " + dottedAddress);
    remoteHost_ = address;
    remoteHostText_ = dottedAddress;
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

// Straight to the bound socket's descriptor: Qt's writeDatagram builds addresses on the heap for every
// datagram.
void QtUdpSocket::SendData(std::span<const std::uint8_t> datagram) {
    if (remoteHost_.isNull()) throw SocketError("No remote host");
    const auto size = static_cast<qint64>(datagram.size());
    const qintptr descriptor = socket_.socketDescriptor();
    if (descriptor < 0) {
        if (socket_.writeDatagram(reinterpret_cast<const char*>(datagram.data()), size, remoteHost_,
                                  remotePort_) != size)
            throw SocketError(socket_.errorString().toStdString());
        return;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(remotePort_);
    to.sin_addr.s_addr = htonl(remoteHost_.toIPv4Address());
    ssize_t sent = 0;
    do {
        sent = ::sendto(static_cast<int>(descriptor), datagram.data(), datagram.size(), 0,
                        reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) throw SocketError(std::strerror(errno));
    if (sent != size) throw SocketError("Datagram was not sent whole");
}

// A peek gives the datagram's size and its sender, without the addresses that Qt's reads build on the heap;
// Qt's own read then takes the datagram, so that Qt goes on announcing the next.
bool QtUdpSocket::ReadOneDatagram(Queued& into) {
    const qintptr descriptor = socket_.socketDescriptor();
    if (descriptor < 0) return false;
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    std::uint8_t first = 0;
    ssize_t size = 0;
    do {
        fromLength = sizeof from;
        size = ::recvfrom(static_cast<int>(descriptor), &first, 1, MSG_PEEK | MSG_TRUNC,
                          reinterpret_cast<sockaddr*>(&from), &fromLength);
    } while (size < 0 && errno == EINTR);
    if (size < 0) return false;
    into.bytes.resize(static_cast<std::size_t>(size));
    const qint64 got = socket_.readDatagram(reinterpret_cast<char*>(into.bytes.data()), size);
    into.bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    const std::uint32_t address = ntohl(from.sin_addr.s_addr);
    into.sender.Address = {static_cast<std::uint8_t>(address >> 24), static_cast<std::uint8_t>(address >> 16),
                           static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
    into.sender.Port = ntohs(from.sin_port);
    return got >= 0;
}

void QtUdpSocket::ReadPendingDatagrams() {
    std::size_t arrived = 0;
    for (;;) {
        if (queuedCount_ == kMaxQueued) {
            queuedHead_ = (queuedHead_ + 1) % kMaxQueued;
            --queuedCount_;
        }
        if (!ReadOneDatagram(queued_[(queuedHead_ + queuedCount_) % kMaxQueued])) break;
        ++queuedCount_;
        ++arrived;
    }
    // Announced after reading, so that a handler reads exactly the datagram it is told about; while they are
    // announced, nothing more is pending that this read did not queue.
    const std::size_t announced = std::min(arrived, queuedCount_);
    std::array<std::size_t, kMaxQueued> sizes;
    for (std::size_t index = 0; index < announced; ++index)
        sizes[index] = queued_[(queuedHead_ + queuedCount_ - announced + index) % kMaxQueued].bytes.size();
    ScopedFlag announcing(announcing_);
    for (std::size_t index = 0; index < announced; ++index)
        if (DataArrival) DataArrival(sizes[index]);
}

bool QtUdpSocket::ReadDatagram(std::vector<std::uint8_t>& datagram) {
    // A datagram that came before its announcement is read at once.
    if (queuedCount_ == 0 && !announcing_ && ReadOneDatagram(queued_[queuedHead_])) queuedCount_ = 1;
    if (queuedCount_ == 0) {
        datagram.clear();
        lastSender_ = {};
        return false;
    }
    // The caller's buffer takes the slot's place, so both keep their storage.
    Queued& first = queued_[queuedHead_];
    std::swap(datagram, first.bytes);
    lastSender_ = first.sender;
    queuedHead_ = (queuedHead_ + 1) % kMaxQueued;
    // An emptied queue starts again at its first slot: a steady stream keeps using the same few.
    if (--queuedCount_ == 0) queuedHead_ = 0;
    return !datagram.empty();
}

std::vector<std::uint8_t> QtUdpSocket::GetData() {
    std::vector<std::uint8_t> datagram;
    ReadDatagram(datagram);
    return datagram;
}
