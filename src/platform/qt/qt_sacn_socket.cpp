#include "platform/qt/qt_sacn_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/qt/logging.h"
#include "platform/qt/qt_udp_socket.h"
#include "sacn/sacn_packets.h"
#include "stuff/socket_error.h"

namespace {

std::string GroupText(std::uint32_t group) {
    in_addr address{htonl(group)};
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

}  // namespace

QtSacnSocket::QtSacnSocket() : socket_("sACN", lcSacn) {}

// Bound anew for each universe, so that no group of another universe stays joined.
void QtSacnSocket::Open(std::uint16_t universe) {
    Close();
    InterfaceChoice chosen;
    try {
        chosen = QtUdpSocket::ChosenInterface();
    } catch (const SocketError& error) {
        throw SocketError(std::string("sACN: ") + error.what());
    }
    const std::string on = " on " + chosen.address.interfaceName + " (" + chosen.address.ip + ")";
    ip_mreqn membership{};
    membership.imr_multiaddr.s_addr = htonl(SacnGroupOf(universe));
    if (::inet_pton(AF_INET, chosen.address.ip.c_str(), &membership.imr_address) != 1)
        throw SocketError("sACN: no IPv4 address " + chosen.address.ip);
    membership.imr_ifindex = static_cast<int>(chosen.address.index);
    socket_.TakeOnlyFrom(chosen.named ? chosen.address.index : 0);
    if (!socket_.Create()) throw SocketError(std::string("sACN: ") + std::strerror(errno));
    const int fd = socket_.Descriptor();
    // Shared: another receiver on this machine (a visualiser, OLA) may listen to the same universe.
    try {
        socket_.Bind(kSacnPort, true, [this] {
            if (DataArrival) DataArrival();
        });
    } catch (const SocketError& error) {
        socket_.Close();
        throw SocketError(std::string("sACN: ") + error.what());
    }
    // Linux hands a socket bound to any address the groups that other sockets joined; only ours are wanted.
    const int off = 0;
    const unsigned char ttl = static_cast<unsigned char>(ttl_);
    std::string failed;
    if (::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off) != 0)
        failed = std::string("sACN: ") + std::strerror(errno);
    else if (::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) != 0)
        failed = "sACN: cannot join " + GroupText(SacnGroupOf(universe)) + on + ": " + std::strerror(errno);
    else if (::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &membership, sizeof membership) != 0 ||
             ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0)
        failed = std::string("sACN: ") + std::strerror(errno) + on;
    if (!failed.empty()) {
        socket_.Close();
        throw SocketError(failed);
    }
}

void QtSacnSocket::Close() {
    socket_.Close();
}

// One byte more than the longest data packet: a longer datagram arrives cut to that, and the receiver
// ignores it by its size. The storage is reused from one read to the next.
bool QtSacnSocket::ReadDatagram(std::vector<std::uint8_t>& datagram) {
    datagram.resize(kSacnDataPacketBytes + 1);
    sockaddr_in from{};
    const auto size = socket_.Receive(datagram, from);
    datagram.resize(size.value_or(0));
    return size.has_value();
}

// Never allocates: straight to the descriptor.
bool QtSacnSocket::Send(std::span<const std::uint8_t> datagram, std::uint32_t group, std::uint16_t port) {
    if (!socket_.Bound()) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(group);
    const ssize_t sent = ::sendto(socket_.Descriptor(), datagram.data(), datagram.size(), MSG_DONTWAIT,
                                  reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent == static_cast<ssize_t>(datagram.size());
}

void QtSacnSocket::SetMulticastTtl(int ttl) {
    ttl_ = ttl;
    const unsigned char value = static_cast<unsigned char>(ttl_);
    if (socket_.Bound())
        ::setsockopt(socket_.Descriptor(), IPPROTO_IP, IP_MULTICAST_TTL, &value, sizeof value);
}
