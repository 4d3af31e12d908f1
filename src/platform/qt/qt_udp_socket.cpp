#include "platform/qt/qt_udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QNetworkInterface>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/qt/logging.h"
#include "stuff/scoped_flag.h"

namespace {

// More than the largest UDP payload over IPv4.
constexpr std::size_t kMaxDatagram = 65536;

}  // namespace

// The scratch buffer is left uninitialised, so that only the pages datagrams reach become resident.
QtUdpSocket::QtUdpSocket() : socket_("Art-Net", lcArtNet), scratch_(new std::uint8_t[kMaxDatagram]) {
    if (!socket_.Create()) return;  // Bind reports it
    const int on = 1;
    ::setsockopt(socket_.Descriptor(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
}

// Exclusive: a port already taken is refused. A named interface that has no address is thrown here as it
// would be by LocalIP.
void QtUdpSocket::Bind(std::uint16_t localPort) {
    socket_.Bind(localPort, false, [this] { ReadPendingDatagrams(); });
    if (qEnvironmentVariableIsSet(kInterfaceVariable)) {
        const InterfaceChoice chosen = ChosenInterface();
        if (chosen.named) socket_.TakeOnlyFrom(chosen.address.index);
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
            addresses.push_back(
                {interface.name().toStdString(), entry.ip().toString().toStdString(),
                 entry.netmask().toString().toStdString(), flags.testFlag(QNetworkInterface::IsUp),
                 flags.testFlag(QNetworkInterface::IsRunning), flags.testFlag(QNetworkInterface::IsLoopBack),
                 static_cast<unsigned>(interface.index())});
        }
    }
    return addresses;
}

InterfaceChoice QtUdpSocket::ChosenInterface() {
    std::optional<std::string> variable;
    if (qEnvironmentVariableIsSet(kInterfaceVariable))
        variable = qEnvironmentVariable(kInterfaceVariable).toStdString();
    return ChooseInterface(MachineAddresses(), variable);
}

std::string QtUdpSocket::LocalIP() const {
    return ChosenInterface().address.ip;
}
std::string QtUdpSocket::LocalNetmask() const {
    return ChosenInterface().address.netmask;
}

void QtUdpSocket::SendData(std::span<const std::uint8_t> datagram) {
    if (remoteHost_.isNull()) throw SocketError("No remote host");
    if (socket_.Descriptor() < 0) throw SocketError("No socket");
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(remotePort_);
    to.sin_addr.s_addr = htonl(remoteHost_.toIPv4Address());
    ssize_t sent = 0;
    do {
        sent = ::sendto(socket_.Descriptor(), datagram.data(), datagram.size(), 0,
                        reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) throw SocketError(std::strerror(errno));
    if (static_cast<std::size_t>(sent) != datagram.size()) throw SocketError("Datagram was not sent whole");
}

bool QtUdpSocket::ReadOneDatagram(Queued& into) {
    sockaddr_in from{};
    const auto size = socket_.Receive({scratch_.get(), kMaxDatagram}, from);
    if (!size) return false;
    into.bytes.assign(scratch_.get(), scratch_.get() + *size);
    const std::uint32_t address = ntohl(from.sin_addr.s_addr);
    into.sender.Address = {static_cast<std::uint8_t>(address >> 24), static_cast<std::uint8_t>(address >> 16),
                           static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
    into.sender.Port = ntohs(from.sin_port);
    return true;
}

void QtUdpSocket::ReadPendingDatagrams() {
    // A handler that lets events run (a message box) is not interrupted by the next arrival: as Qt's socket
    // did, the notifier waits until the announcements are done, and what came meanwhile is announced then.
    if (announcing_) {
        socket_.SetWatching(false);
        return;
    }
    // Each datagram is announced as soon as it is read, so that the first one's handler runs before the read
    // that finds the socket empty; a handler reads exactly the datagram it is told about. While one is
    // announced, nothing more is read for it. A flood yields to the event loop after a queue's worth; the
    // notifier then reports the rest.
    for (std::size_t round = 0; round < kMaxQueued; ++round) {
        if (queuedCount_ == kMaxQueued) {
            queuedHead_ = (queuedHead_ + 1) % kMaxQueued;
            --queuedCount_;
        }
        Queued& slot = queued_[(queuedHead_ + queuedCount_) % kMaxQueued];
        if (!ReadOneDatagram(slot)) break;
        ++queuedCount_;
        if (!DataArrival) continue;
        ScopedFlag announcing(announcing_);
        DataArrival(slot.bytes.size());
    }
    socket_.SetWatching(true);
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
