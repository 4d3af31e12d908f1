#include "platform/win32/win32_udp_socket.h"

#include <iphlpapi.h>
#include <mswsock.h>

#include "artnet/node_address.h"
#include "platform/win32/environment.h"
#include "platform/win32/text.h"
#include "stuff/arrival_limit.h"

namespace {

constexpr std::size_t kLargestDatagram = 65536;
constexpr int kReceiveBufferBytes = 1024 * 1024;

std::string Dotted(const in_addr& address) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address.s_addr);
    return DottedAddress({bytes[0], bytes[1], bytes[2], bytes[3]});
}

std::string NetmaskOf(unsigned prefixLength) {
    const std::uint32_t mask = prefixLength == 0 ? 0 : 0xFFFFFFFFu << (32 - std::min(prefixLength, 32u));
    return DottedAddress({static_cast<std::uint8_t>(mask >> 24), static_cast<std::uint8_t>(mask >> 16),
                          static_cast<std::uint8_t>(mask >> 8), static_cast<std::uint8_t>(mask)});
}

// The machine's IPv4 adapters, as GetAdaptersAddresses lists them; empty when it fails.
std::vector<std::uint8_t> AdapterTable() {
    constexpr ULONG kFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    std::vector<std::uint8_t> buffer(16 * 1024);
    ULONG size = static_cast<ULONG>(buffer.size());
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = GetAdaptersAddresses(AF_INET, kFlags, nullptr,
                                      reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result != NO_ERROR) buffer.clear();
    return buffer;
}

const IP_ADAPTER_ADDRESSES* FirstAdapter(const std::vector<std::uint8_t>& table) {
    return table.empty() ? nullptr : reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(table.data());
}

}  // namespace

std::string SocketErrorText() {
    return SystemErrorText(static_cast<unsigned long>(WSAGetLastError()));
}

void IgnoreConnectionResets(SOCKET socket) {
    BOOL report = FALSE;
    DWORD returned = 0;
    WSAIoctl(socket, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
}

Win32UdpSocket::Win32UdpSocket(MessageWindow& window) : window_(window.Handle()) {
    message_ = window.AddHandler([this](WPARAM, LPARAM event) {
        if (WSAGETSELECTEVENT(event) == FD_READ) ReadPendingDatagrams();
    });
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

Win32UdpSocket::~Win32UdpSocket() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    if (started_) WSACleanup();
}

void Win32UdpSocket::Bind(std::uint16_t localPort) {
    if (!started_) throw SocketError("Winsock 2 is not available");
    if (socket_ != INVALID_SOCKET) throw SocketError("Socket already bound");
    const SOCKET made = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (made == INVALID_SOCKET) throw SocketError(SocketErrorText());
    const BOOL on = TRUE;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(localPort);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool bound =
        setsockopt(made, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on) ==
            0 &&
        setsockopt(made, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) == 0 &&
        bind(made, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
        WSAAsyncSelect(made, window_, message_, FD_READ) == 0;
    if (!bound) {
        const std::string why = SocketErrorText();
        closesocket(made);
        throw SocketError(why);
    }
    try {
        arrivals_.Attach(made);
    } catch (const SocketError&) {
        closesocket(made);
        throw;
    }
    IgnoreConnectionResets(made);
    // A flood is read a wake-up's worth at a time, so the system holds what waits meanwhile: a console's
    // burst of every universe must not overflow its small default buffer. Where it cannot be had, the default
    // does.
    const int holding = kReceiveBufferBytes;
    setsockopt(made, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&holding), sizeof holding);
    socket_ = made;
}

void Win32UdpSocket::SetRemoteHost(const std::string& dottedAddress) {
    in_addr address{};
    if (inet_pton(AF_INET, dottedAddress.c_str(), &address) != 1)
        throw SocketError("Invalid remote host: " + dottedAddress);
    remoteHost_ = address;
    hasRemoteHost_ = true;
}

std::vector<InterfaceAddress> Win32UdpSocket::MachineAddresses() {
    const std::vector<std::uint8_t> buffer = AdapterTable();
    std::vector<InterfaceAddress> byFriendlyName, byAdapterName;
    for (auto* adapter = FirstAdapter(buffer); adapter; adapter = adapter->Next) {
        const bool up = adapter->OperStatus == IfOperStatusUp;
        const bool loopback = adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
        for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            const sockaddr* address = unicast->Address.lpSockaddr;
            if (!address || address->sa_family != AF_INET) continue;
            InterfaceAddress entry;
            entry.ip = Dotted(reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
            entry.netmask = NetmaskOf(unicast->OnLinkPrefixLength);
            entry.up = entry.running = up;
            entry.loopback = loopback;
            entry.index = adapter->IfIndex;
            entry.interfaceName = Narrow(adapter->FriendlyName ? adapter->FriendlyName : L"");
            byFriendlyName.push_back(entry);
            entry.interfaceName = adapter->AdapterName ? adapter->AdapterName : "";
            byAdapterName.push_back(entry);
        }
    }
    byFriendlyName.insert(byFriendlyName.end(), byAdapterName.begin(), byAdapterName.end());
    return byFriendlyName;
}

InterfaceAddress Win32UdpSocket::ChosenAddress() {
    return ChooseInterface(MachineAddresses(), EnvironmentVariable(kInterfaceVariable)).address;
}

std::string Win32UdpSocket::LocalIP() const {
    return ChosenAddress().ip;
}

std::string Win32UdpSocket::LocalNetmask() const {
    return ChosenAddress().netmask;
}

void Win32UdpSocket::SendData(std::span<const std::uint8_t> datagram) {
    if (socket_ == INVALID_SOCKET) throw SocketError("Socket not bound");
    if (!hasRemoteHost_) throw SocketError("No remote host");
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(remotePort_);
    to.sin_addr = remoteHost_;
    const int size = static_cast<int>(datagram.size());
    if (sendto(socket_, reinterpret_cast<const char*>(datagram.data()), size, 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof to) != size)
        throw SocketError(SocketErrorText());
}

void Win32UdpSocket::ReadPendingDatagrams() {
    if (socket_ == INVALID_SOCKET) return;
    std::size_t arrived = 0;
    std::vector<std::uint8_t> buffer(kLargestDatagram);
    for (int round = 0;; ++round) {
        // A flood yields to the event loop after a wake-up's worth, and the rest is read from a message of
        // its own, behind what waited meanwhile.
        if (round == kMaxDatagramsPerArrival) {
            PostMessageW(window_, message_, socket_, WSAMAKESELECTREPLY(FD_READ, 0));
            break;
        }
        sockaddr_in from{};
        int got = 0;
        const auto arrival = arrivals_.Receive(socket_, buffer, got, from);
        if (arrival == ArrivalFilter::Arrival::Dropped) continue;
        if (arrival == ArrivalFilter::Arrival::Failed) {
            // An unreachable peer's report is no datagram: read on.
            if (WSAGetLastError() == WSAECONNRESET) continue;
            break;
        }
        if (queued_.size() >= kMaxQueued) queued_.pop_front();
        const auto* address = reinterpret_cast<const std::uint8_t*>(&from.sin_addr.s_addr);
        const UdpEndpoint sender{{address[0], address[1], address[2], address[3]}, ntohs(from.sin_port)};
        queued_.push_back({std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + got), sender});
        ++arrived;
    }
    // Announced after reading, so that a handler reads exactly the datagram it is told about.
    std::vector<std::size_t> sizes;
    for (std::size_t index = queued_.size() - std::min(arrived, queued_.size()); index < queued_.size();
         ++index)
        sizes.push_back(queued_[index].bytes.size());
    for (std::size_t size : sizes)
        if (DataArrival) DataArrival(size);
}

std::vector<std::uint8_t> Win32UdpSocket::GetData() {
    if (queued_.empty()) {
        lastSender_ = {};
        return {};
    }
    Datagram datagram = std::move(queued_.front());
    queued_.pop_front();
    lastSender_ = datagram.sender;
    return std::move(datagram.bytes);
}
