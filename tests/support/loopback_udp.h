#pragma once

// Real UDP for the Art-Net end-to-end tests, kept off every real network: the calling thread moves into a
// network namespace of its own holding only loopback, and the node's datagrams are watched on lo with a
// packet socket, since the node holds port 6454 exclusively.

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace artnet_loopback {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// Moves the calling thread (and the processes it starts) into a fresh network namespace with lo up. Returns
// "" on success, else why not.
inline std::string EnterOwnNetworkNamespace() {
    if (unshare(CLONE_NEWNET) != 0) return std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::string("socket: ") + std::strerror(errno);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    std::string why;
    if (ioctl(fd, SIOCGIFFLAGS, &request) != 0) {
        why = std::string("SIOCGIFFLAGS lo: ") + std::strerror(errno);
    } else {
        request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
        if (ioctl(fd, SIOCSIFFLAGS, &request) != 0)
            why = std::string("SIOCSIFFLAGS lo: ") + std::strerror(errno);
    }
    close(fd);
    return why;
}

// Inside that namespace: lo takes multicast and carries 239.0.0.0/8, so that groups stay on lo. "" or why
// not.
inline std::string RouteMulticastOverLoopback() {
    if (std::system("ip link set lo multicast on && ip route add 239.0.0.0/8 dev lo") != 0)
        return "ip could not route 239.0.0.0/8 over lo";
    return "";
}

struct CapturedDatagram {
    std::string from, to;
    std::uint16_t fromPort = 0, toPort = 0;
    std::uint8_t ttl = 0;
    Bytes payload;
};

// Every IPv4 UDP datagram crossing lo, each seen once.
class LoopbackCapture {
public:
    LoopbackCapture() {
        fd_ = socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_IP));
        if (fd_ < 0) {
            why_ = std::string("packet socket: ") + std::strerror(errno);
            return;
        }
        sockaddr_ll where{};
        where.sll_family = AF_PACKET;
        where.sll_protocol = htons(ETH_P_IP);
        where.sll_ifindex = static_cast<int>(if_nametoindex("lo"));
        if (bind(fd_, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0)
            why_ = std::string("bind packet socket to lo: ") + std::strerror(errno);
    }
    ~LoopbackCapture() {
        if (fd_ >= 0) close(fd_);
    }
    LoopbackCapture(const LoopbackCapture&) = delete;
    LoopbackCapture& operator=(const LoopbackCapture&) = delete;

    // "" when capturing.
    const std::string& Failure() const { return why_; }

    // Reads what has crossed lo since the last call into Seen().
    const std::vector<CapturedDatagram>& Poll() {
        std::uint8_t packet[70000];
        for (;;) {
            sockaddr_ll from{};
            socklen_t fromLength = sizeof from;
            const ssize_t length =
                recvfrom(fd_, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (length <= 0) break;
            // A tap may show a loopback packet on its way out as well as in; count the way in.
            if (from.sll_pkttype == PACKET_OUTGOING) continue;
            Keep(packet, static_cast<std::size_t>(length));
        }
        return seen_;
    }
    const std::vector<CapturedDatagram>& Seen() const { return seen_; }

    // Datagrams to the given port whose payload starts with the Art-Net identifier and OpCode.
    std::vector<CapturedDatagram> ArtNet(std::uint16_t opCode) {
        std::vector<CapturedDatagram> found;
        for (const auto& datagram : Poll())
            if (datagram.payload.size() >= 10 && std::memcmp(datagram.payload.data(), "Art-Net\0", 8) == 0 &&
                datagram.payload[8] == (opCode & 0xFF) && datagram.payload[9] == (opCode >> 8))
                found.push_back(datagram);
        return found;
    }

private:
    void Keep(const std::uint8_t* packet, std::size_t length) {
        if (length < sizeof(iphdr)) return;
        iphdr ip;
        std::memcpy(&ip, packet, sizeof ip);
        const std::size_t ipLength = ip.ihl * 4u;
        if (ip.protocol != IPPROTO_UDP || length < ipLength + sizeof(udphdr)) return;
        udphdr udp;
        std::memcpy(&udp, packet + ipLength, sizeof udp);
        CapturedDatagram datagram;
        char text[INET_ADDRSTRLEN];
        datagram.from = inet_ntop(AF_INET, &ip.saddr, text, sizeof text);
        datagram.to = inet_ntop(AF_INET, &ip.daddr, text, sizeof text);
        datagram.fromPort = ntohs(udp.source);
        datagram.toPort = ntohs(udp.dest);
        datagram.ttl = ip.ttl;
        datagram.payload.assign(packet + ipLength + sizeof udp, packet + length);
        seen_.push_back(std::move(datagram));
    }

    int fd_ = -1;
    std::string why_;
    std::vector<CapturedDatagram> seen_;
};

// A plain UDP sender on an ephemeral port, as another node or a lighting desk.
class UdpSender {
public:
    UdpSender() { fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0); }
    ~UdpSender() {
        if (fd_ >= 0) close(fd_);
    }
    UdpSender(const UdpSender&) = delete;
    UdpSender& operator=(const UdpSender&) = delete;

    bool SendTo(const char* loopbackAddress, std::uint16_t port, const Bytes& payload) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        if (inet_pton(AF_INET, loopbackAddress, &to.sin_addr) != 1) return false;
        // Only loopback destinations, whatever a caller passes.
        if ((ntohl(to.sin_addr.s_addr) >> 24) != 127) return false;
        return sendto(fd_, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
               static_cast<ssize_t>(payload.size());
    }

    // To a group in 239.0.0.0/8, sent out of lo only, so that it stays in the namespace.
    bool SendToGroup(const char* group, std::uint16_t port, const Bytes& payload) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        if (inet_pton(AF_INET, group, &to.sin_addr) != 1 || (ntohl(to.sin_addr.s_addr) >> 24) != 239)
            return false;
        in_addr loopback{};
        loopback.s_addr = htonl(INADDR_LOOPBACK);
        const unsigned char ttl = 1;
        if (setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback) != 0 ||
            setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0)
            return false;
        return sendto(fd_, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
               static_cast<ssize_t>(payload.size());
    }

private:
    int fd_ = -1;
};

inline Bytes ArtPoll() {
    return {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x20, 0, 14, 0, 0};
}

inline Bytes ArtSync() {
    return {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x52, 0, 14, 0, 0};
}

// An ArtDmx to a 15-bit Port-Address whose channel n carries (n * step + offset) mod 256.
inline Bytes ArtDmx(std::uint16_t universe, std::uint8_t offset, std::uint8_t step = 1) {
    Bytes datagram{'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x50, 0, 14, 0, 0, 0, 0, 0x02, 0x00};
    datagram[14] = static_cast<std::uint8_t>(universe);
    datagram[15] = static_cast<std::uint8_t>(universe >> 8);
    datagram.resize(530);
    for (int channel = 1; channel <= 512; ++channel)
        datagram[17 + static_cast<std::size_t>(channel)] = static_cast<std::uint8_t>(channel * step + offset);
    return datagram;
}

}  // namespace artnet_loopback
