#include "platform/qt/qt_udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QNetworkInterface>
#include <cerrno>
#include <cstring>
#include <optional>

#include "stuff/scoped_flag.h"

namespace {

// More than the largest UDP payload over IPv4.
constexpr std::size_t kMaxDatagram = 65536;

// The descriptions Qt's socket gave for the refusals a bind meets.
std::string BindFailure(int error) {
    if (error == EADDRINUSE) return "The bound address is already in use";
    if (error == EACCES) return "The address is protected";
    return std::strerror(error);
}

}  // namespace

// The scratch buffer is left uninitialised, so that only the pages datagrams reach become resident.
QtUdpSocket::QtUdpSocket() : scratch_(new std::uint8_t[kMaxDatagram]) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return;  // Bind reports it
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
}

QtUdpSocket::~QtUdpSocket() {
    notifier_.reset();
    if (fd_ >= 0) ::close(fd_);
}

// Exclusive: without SO_REUSEADDR a port already taken is refused.
void QtUdpSocket::Bind(std::uint16_t localPort) {
    if (fd_ < 0) throw SocketError(std::strerror(errno));
    if (notifier_) throw SocketError("The socket is already bound");
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(localPort);
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0)
        throw SocketError(BindFailure(errno));
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { ReadPendingDatagrams(); });
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

void QtUdpSocket::SendData(std::span<const std::uint8_t> datagram) {
    if (remoteHost_.isNull()) throw SocketError("No remote host");
    if (fd_ < 0) throw SocketError("No socket");
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(remotePort_);
    to.sin_addr.s_addr = htonl(remoteHost_.toIPv4Address());
    ssize_t sent = 0;
    do {
        sent = ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                        sizeof to);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) throw SocketError(std::strerror(errno));
    if (static_cast<std::size_t>(sent) != datagram.size()) throw SocketError("Datagram was not sent whole");
}

// One recvmsg takes the datagram and its sender. A failure that a datagram sent earlier left on the socket
// (an ICMP refusal) is consumed by the read that reports it; the next read goes on.
bool QtUdpSocket::ReadOneDatagram(Queued& into) {
    if (fd_ < 0) return false;
    for (int attempt = 0; attempt < 4; ++attempt) {
        sockaddr_in from{};
        iovec part{scratch_.get(), kMaxDatagram};
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        const ssize_t size = ::recvmsg(fd_, &message, 0);
        if (size < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) return false;
            continue;
        }
        into.bytes.assign(scratch_.get(), scratch_.get() + size);
        const std::uint32_t address = ntohl(from.sin_addr.s_addr);
        into.sender.Address = {static_cast<std::uint8_t>(address >> 24),
                               static_cast<std::uint8_t>(address >> 16),
                               static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
        into.sender.Port = ntohs(from.sin_port);
        return true;
    }
    return false;
}

void QtUdpSocket::ReadPendingDatagrams() {
    // A handler that lets events run (a message box) is not interrupted by the next arrival: as Qt's socket
    // did, the notifier waits until the announcements are done, and what came meanwhile is announced then.
    if (announcing_) {
        notifier_->setEnabled(false);
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
    notifier_->setEnabled(true);
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
