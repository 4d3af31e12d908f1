#pragma once

#include <deque>

#include "artnet/interface_choice.h"
#include "artnet/udp_socket.h"
#include "platform/win32/arrival_filter.h"
#include "platform/win32/message_window.h"
#include "stuff/arrival_limit.h"

// Winsock's last error, as text.
std::string SocketErrorText();
// A datagram sent to a port where nobody listens must not make the socket's next read fail.
void IgnoreConnectionResets(SOCKET socket);

// The socket control on Winsock 2: UDP bound on every IPv4 address with SO_EXCLUSIVEADDRUSE, broadcasts
// allowed; with an interface named, only what came by its adapter is taken. WSAAsyncSelect posts FD_READ to
// the window, where arrived datagrams are queued and announced one by one through DataArrival, at most
// kMaxDatagramsPerArrival for one message; GetData hands them out in order.
class Win32UdpSocket : public UdpSocket {
public:
    // Datagrams kept for a handler that does not read them; older ones are dropped first.
    static constexpr std::size_t kMaxQueued = kMaxDatagramsPerArrival;

    explicit Win32UdpSocket(MessageWindow& window);
    Win32UdpSocket(const Win32UdpSocket&) = delete;
    Win32UdpSocket& operator=(const Win32UdpSocket&) = delete;
    ~Win32UdpSocket() override;

    void Bind(std::uint16_t localPort) override;
    void SetRemotePort(std::uint16_t port) override { remotePort_ = port; }
    void SetRemoteHost(const std::string& dottedAddress) override;
    std::string LocalIP() const override;
    std::string LocalNetmask() const override;
    void SendData(std::span<const std::uint8_t> datagram) override;
    std::vector<std::uint8_t> GetData() override;
    UdpEndpoint LastSender() const override { return lastSender_; }
    std::uint64_t OtherInterfaceDrops() const override { return arrivals_.Drops(); }

    // The machine's IPv4 addresses as the interface choice sees them: each listed under the adapter's
    // friendly name and again under its adapter name, so that either can be asked for.
    static std::vector<InterfaceAddress> MachineAddresses();
    // The address the node uses: VANTOR_ARTNET_INTERFACE's choice, else the first adapter up and not
    // loopback. SocketError when there is none.
    static InterfaceAddress ChosenAddress();

private:
    void ReadPendingDatagrams();

    HWND window_;
    UINT message_;
    bool started_ = false;
    SOCKET socket_ = INVALID_SOCKET;
    in_addr remoteHost_{};
    bool hasRemoteHost_ = false;
    std::uint16_t remotePort_ = 0;
    struct Datagram {
        std::vector<std::uint8_t> bytes;
        UdpEndpoint sender;
    };
    std::deque<Datagram> queued_;
    UdpEndpoint lastSender_;
    ArrivalFilter arrivals_{"Art-Net"};
};
