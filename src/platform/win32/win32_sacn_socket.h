#pragma once

#include "platform/win32/arrival_filter.h"
#include "platform/win32/message_window.h"
#include "sacn/sacn_socket.h"

// The sACN socket on Winsock 2: UDP 5568 shared with other receivers on this machine, the universe's group
// joined on the Art-Net node's adapter only (its address as the membership's interface), unicast taken too;
// with an interface named, nothing that came by another adapter. What it sends to a group leaves by that
// adapter (IP_MULTICAST_IF) with the TTL set. WSAAsyncSelect posts FD_READ to the window, where DataArrival
// is raised; reads and sends never block.
class Win32SacnSocket : public SacnSocket {
public:
    explicit Win32SacnSocket(MessageWindow& window);
    Win32SacnSocket(const Win32SacnSocket&) = delete;
    Win32SacnSocket& operator=(const Win32SacnSocket&) = delete;
    ~Win32SacnSocket() override;

    void Open(std::uint16_t universe) override;
    void Close() override;
    bool ReadDatagram(std::vector<std::uint8_t>& datagram) override;
    bool Send(std::span<const std::uint8_t> datagram, std::uint32_t group, std::uint16_t port) override;
    void SetMulticastTtl(int ttl) override;
    std::uint64_t OtherInterfaceDrops() const override { return arrivals_.Drops(); }

private:
    HWND window_;
    UINT message_;
    bool started_ = false;
    SOCKET socket_ = INVALID_SOCKET;
    DWORD ttl_ = 1;
    ArrivalFilter arrivals_{"sACN"};
};
