#include "node_sockets.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "artnet/artnet_packets.h"
#include "platform/qt/logging.h"
#include "sacn/sacn_packets.h"
#include "stuff/arrival_limit.h"
#include "stuff/socket_error.h"

namespace {

in_addr Dotted(const std::string& text) {
    in_addr address{};
    if (::inet_pton(AF_INET, text.c_str(), &address) != 1) throw SocketError("no IPv4 address " + text);
    return address;
}

bool SendTo(int fd, std::span<const std::uint8_t> datagram, in_addr address, std::uint16_t port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr = address;
    ssize_t sent = 0;
    do {
        sent = ::sendto(fd, datagram.data(), datagram.size(), MSG_DONTWAIT,
                        reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(datagram.size());
}

}  // namespace

NodeSockets::NodeSockets(const InterfaceChoice& chosen)
    : chosen_(chosen), artNet_("Art-Net", lcArtNet), sacn_("sACN", lcSacn) {
    address_ = Dotted(chosen.address.ip);
    const in_addr netmask = Dotted(chosen.address.netmask);
    broadcast_.s_addr = address_.s_addr | ~netmask.s_addr;
}

void NodeSockets::Open(ArtNetArrival artNet, SacnArrival sacn) {
    artNetArrival_ = std::move(artNet);
    sacnArrival_ = std::move(sacn);
    const unsigned only = chosen_.named ? chosen_.address.index : 0;
    artNet_.TakeOnlyFrom(only);
    sacn_.TakeOnlyFrom(only);
    if (!artNet_.Create() || !sacn_.Create())
        throw SocketError(std::string("sockets: ") + std::strerror(errno));
    const int on = 1;
    ::setsockopt(artNet_.Descriptor(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    artNet_.Bind(kArtNetPort, false, [this] { ReadArtNet(); });
    // Shared: another receiver on this machine (a visualiser, OLA) may listen to the same universes.
    try {
        sacn_.Bind(kSacnPort, true, [this] { ReadSacn(); });
    } catch (const SocketError& failure) {
        throw SocketError(std::string("sACN: ") + failure.what());
    }
    const int fd = sacn_.Descriptor();
    // Linux hands a socket bound to any address the groups that other sockets joined; only ours are wanted.
    const int off = 0;
    ip_mreqn outgoing{};
    outgoing.imr_address = address_;
    outgoing.imr_ifindex = static_cast<int>(chosen_.address.index);
    const unsigned char ttl = static_cast<unsigned char>(ttl_);
    if (::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off) != 0 ||
        ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &outgoing, sizeof outgoing) != 0 ||
        ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0)
        throw SocketError("sACN: " + std::string(std::strerror(errno)) + " on " +
                          chosen_.address.interfaceName);
}

void NodeSockets::Membership(int option, std::uint16_t universe) {
    ip_mreqn membership{};
    membership.imr_multiaddr.s_addr = htonl(SacnGroupOf(universe));
    membership.imr_address = address_;
    membership.imr_ifindex = static_cast<int>(chosen_.address.index);
    if (::setsockopt(sacn_.Descriptor(), IPPROTO_IP, option, &membership, sizeof membership) != 0) {
        char group[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &membership.imr_multiaddr, group, sizeof group);
        throw SocketError(std::string("sACN: cannot ") + (option == IP_ADD_MEMBERSHIP ? "join " : "leave ") +
                          group + " on " + chosen_.address.interfaceName + ": " + std::strerror(errno));
    }
}

void NodeSockets::JoinSacnUniverse(std::uint16_t universe) {
    Membership(IP_ADD_MEMBERSHIP, universe);
}

void NodeSockets::LeaveSacnUniverse(std::uint16_t universe) {
    Membership(IP_DROP_MEMBERSHIP, universe);
}

bool NodeSockets::SendArtNet(std::span<const std::uint8_t> datagram, std::optional<UdpEndpoint> to) {
    in_addr address = broadcast_;
    if (to) std::memcpy(&address.s_addr, to->Address.data(), 4);
    return SendTo(artNet_.Descriptor(), datagram, address, to ? to->Port : kArtNetPort);
}

bool NodeSockets::SendSacn(std::span<const std::uint8_t> datagram, std::uint32_t group, int ttl) {
    if (ttl != ttl_) {
        const unsigned char value = static_cast<unsigned char>(ttl);
        if (::setsockopt(sacn_.Descriptor(), IPPROTO_IP, IP_MULTICAST_TTL, &value, sizeof value) == 0)
            ttl_ = ttl;
    }
    in_addr address{};
    address.s_addr = htonl(group);
    return SendTo(sacn_.Descriptor(), datagram, address, kSacnPort);
}

void NodeSockets::ReadArtNet() {
    sockaddr_in from{};
    for (std::size_t i = 0; i < kMaxDatagramsPerArrival; ++i) {
        const auto size = artNet_.Receive(buffer_, from);
        if (!size) return;
        UdpEndpoint sender;
        std::memcpy(sender.Address.data(), &from.sin_addr.s_addr, 4);
        sender.Port = ntohs(from.sin_port);
        artNetArrival_(std::span(buffer_).first(std::min(*size, buffer_.size())), sender);
    }
}

void NodeSockets::ReadSacn() {
    sockaddr_in from{};
    for (std::size_t i = 0; i < kMaxDatagramsPerArrival; ++i) {
        const auto size = sacn_.Receive(buffer_, from);
        if (!size) return;
        sacnArrival_(std::span(buffer_).first(std::min(*size, buffer_.size())));
    }
}
