#include "platform/qt/datagram_socket.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "stuff/arrival_limit.h"
#include "stuff/socket_error.h"

namespace {

// The descriptions Qt's socket gave for the refusals a bind meets.
std::string BindFailure(int error) {
    if (error == EADDRINUSE) return "The bound address is already in use";
    if (error == EACCES) return "The address is protected";
    return std::strerror(error);
}

std::string InterfaceName(unsigned index) {
    char name[IF_NAMESIZE] = {};
    if (!::if_indextoname(index, name)) return "interface " + std::to_string(index);
    return name;
}

}  // namespace

DatagramSocket::DatagramSocket(std::string protocol, Category category)
    : protocol_(std::move(protocol)), category_(category) {}

DatagramSocket::~DatagramSocket() {
    Close();
}

bool DatagramSocket::Create() {
    Close();
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    if (takenIndex_ != 0) EnableArrivalInterface();
    return true;
}

void DatagramSocket::Bind(std::uint16_t port, bool shared, std::function<void()> onReadable) {
    if (fd_ < 0) throw SocketError(std::strerror(errno));
    if (notifier_) throw SocketError("The socket is already bound");
    const int on = 1;
    if (shared && ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
        throw SocketError(std::strerror(errno));
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(port);
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0)
        throw SocketError(BindFailure(errno));
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, std::move(onReadable));
}

void DatagramSocket::Close() {
    notifier_.reset();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void DatagramSocket::TakeOnlyFrom(unsigned interfaceIndex) {
    takenIndex_ = interfaceIndex;
    loopbackIndex_ = ::if_nametoindex("lo");
    if (fd_ >= 0 && takenIndex_ != 0) EnableArrivalInterface();
}

// Each datagram then carries the interface it came in on.
void DatagramSocket::EnableArrivalInterface() {
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
}

void DatagramSocket::SetWatching(bool on) {
    if (notifier_) notifier_->setEnabled(on);
}

// What came from this machine itself arrives over loopback whatever address it was sent to.
bool DatagramSocket::ArrivedElsewhere(const msghdr& message) {
    if (takenIndex_ == 0) return false;
    for (const cmsghdr* part = CMSG_FIRSTHDR(&message); part;
         part = CMSG_NXTHDR(const_cast<msghdr*>(&message), const_cast<cmsghdr*>(part))) {
        if (part->cmsg_level != IPPROTO_IP || part->cmsg_type != IP_PKTINFO) continue;
        in_pktinfo info;
        std::memcpy(&info, CMSG_DATA(part), sizeof info);
        const auto index = static_cast<unsigned>(info.ipi_ifindex);
        if (index == takenIndex_ || (index != 0 && index == loopbackIndex_)) return false;
        if (otherInterfaceDrops_++ == 0) {
            const auto* from = static_cast<const sockaddr_in*>(message.msg_name);
            char sender[INET_ADDRSTRLEN] = "?";
            ::inet_ntop(AF_INET, &from->sin_addr, sender, sizeof sender);
            qCWarning(category_).noquote()
                << QString::fromStdString(protocol_ + ": dropped a datagram from " + sender +
                                          " that came in on " + InterfaceName(index) + ", not on " +
                                          InterfaceName(takenIndex_) + "; the next ones are only counted");
        }
        return true;
    }
    return false;
}

// A failure that a datagram sent earlier left on the socket (an ICMP refusal) is consumed by the read that
// reports it; the next read goes on. A flood from another interface yields after a burst's worth: the
// notifier reports the rest.
std::optional<std::size_t> DatagramSocket::Receive(std::span<std::uint8_t> buffer, sockaddr_in& from) {
    if (fd_ < 0) return std::nullopt;
    int failures = 0;
    for (int dropped = 0; dropped < kMaxDatagramsPerArrival && failures < 4;) {
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
        iovec part{buffer.data(), buffer.size()};
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t size = ::recvmsg(fd_, &message, 0);
        if (size < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) return std::nullopt;
            ++failures;
            continue;
        }
        if (ArrivedElsewhere(message)) {
            ++dropped;
            continue;
        }
        return static_cast<std::size_t>(size);
    }
    return std::nullopt;
}
