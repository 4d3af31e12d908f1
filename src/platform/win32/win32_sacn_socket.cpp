#include "platform/win32/win32_sacn_socket.h"

#include "artnet/node_address.h"
#include "artnet/udp_socket.h"
#include "platform/win32/win32_udp_socket.h"
#include "sacn/sacn_packets.h"
#include "sacn/sacn_sender.h"
#include "stuff/arrival_limit.h"

namespace {

std::string GroupText(std::uint32_t group) {
    return DottedAddress({static_cast<std::uint8_t>(group >> 24), static_cast<std::uint8_t>(group >> 16),
                          static_cast<std::uint8_t>(group >> 8), static_cast<std::uint8_t>(group)});
}

}  // namespace

Win32SacnSocket::Win32SacnSocket(MessageWindow& window) : window_(window.Handle()) {
    message_ = window.AddHandler([this](WPARAM, LPARAM event) {
        if (WSAGETSELECTEVENT(event) == FD_READ && DataArrival) DataArrival();
    });
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

Win32SacnSocket::~Win32SacnSocket() {
    Close();
    if (started_) WSACleanup();
}

// Bound anew for each universe, so that no group of another universe stays joined.
void Win32SacnSocket::Open(std::uint16_t universe) {
    Close();
    if (!started_) throw SocketError("sACN: Winsock 2 is not available");
    const InterfaceAddress chosen = Win32UdpSocket::ChosenAddress();
    ip_mreq membership{};
    membership.imr_multiaddr.s_addr = htonl(SacnGroupOf(universe));
    if (inet_pton(AF_INET, chosen.ip.c_str(), &membership.imr_interface) != 1)
        throw SocketError("sACN: no IPv4 address " + chosen.ip);
    const SOCKET made = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (made == INVALID_SOCKET) throw SocketError("sACN: " + SocketErrorText());
    // Shared: another receiver on this machine (a visualiser, a console's software) may listen too.
    const BOOL on = TRUE;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(kSacnPort);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    std::string failed;
    if (setsockopt(made, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on) != 0 ||
        bind(made, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        failed = "sACN: " + SocketErrorText();
    else if (setsockopt(made, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&membership),
                        sizeof membership) != 0)
        failed = "sACN: cannot join " + GroupText(SacnGroupOf(universe)) + " on " + chosen.interfaceName +
                 " (" + chosen.ip + "): " + SocketErrorText();
    else if (setsockopt(made, IPPROTO_IP, IP_MULTICAST_IF,
                        reinterpret_cast<const char*>(&membership.imr_interface),
                        sizeof membership.imr_interface) != 0 ||
             setsockopt(made, IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<const char*>(&ttl_),
                        sizeof ttl_) != 0 ||
             WSAAsyncSelect(made, window_, message_, FD_READ) != 0)
        failed = "sACN: " + SocketErrorText();
    if (failed.empty()) {
        try {
            arrivals_.Attach(made);
        } catch (const SocketError& failure) {
            failed = failure.what();
        }
    }
    if (!failed.empty()) {
        closesocket(made);
        throw SocketError(failed);
    }
    IgnoreConnectionResets(made);
    socket_ = made;
}

void Win32SacnSocket::Close() {
    if (socket_ == INVALID_SOCKET) return;
    closesocket(socket_);
    socket_ = INVALID_SOCKET;
}

bool Win32SacnSocket::ReadDatagram(std::vector<std::uint8_t>& datagram) {
    // One byte more than the longest data packet: a longer datagram arrives cut to that, and the receiver
    // ignores it by its size. The storage is reused from one read to the next.
    datagram.resize(kSacnDataPacketBytes + 1);
    // What another network sends is passed over, but no more of it than one wake-up's worth per call: the
    // rest is announced again.
    for (int round = 0; round < kMaxDatagramsPerArrival && socket_ != INVALID_SOCKET; ++round) {
        sockaddr_in from{};
        int got = 0;
        const auto arrival = arrivals_.Receive(socket_, datagram, got, from);
        if (arrival == ArrivalFilter::Arrival::Admitted) {
            datagram.resize(static_cast<std::size_t>(got));
            return true;
        }
        // An unreachable peer's report is no datagram: read on.
        if (arrival == ArrivalFilter::Arrival::Failed && WSAGetLastError() != WSAECONNRESET) break;
    }
    datagram.clear();
    return false;
}

bool Win32SacnSocket::Send(std::span<const std::uint8_t> datagram, std::uint32_t group, std::uint16_t port) {
    if (socket_ == INVALID_SOCKET) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(group);
    const int size = static_cast<int>(datagram.size());
    return sendto(socket_, reinterpret_cast<const char*>(datagram.data()), size, 0,
                  reinterpret_cast<const sockaddr*>(&to), sizeof to) == size;
}

void Win32SacnSocket::SetMulticastTtl(int ttl) {
    ttl_ = static_cast<DWORD>(ttl);
    if (socket_ != INVALID_SOCKET)
        setsockopt(socket_, IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<const char*>(&ttl_), sizeof ttl_);
}
