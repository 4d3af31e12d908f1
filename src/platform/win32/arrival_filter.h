#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "platform/win32/win32_headers.h"

#include <mswsock.h>

// Reads a socket's datagrams with the adapter each came in by (IP_PKTINFO through WSARecvMsg). When
// VANTOR_ARTNET_INTERFACE names an interface, what came by another adapter is dropped and counted, and the
// first drop is logged: the node hears only the network it was given. With no interface named, nothing is
// dropped.
class ArrivalFilter {
public:
    enum class Arrival { Admitted, Dropped, Failed };

    // The protocol names the log line.
    explicit ArrivalFilter(std::string protocol) : protocol_(std::move(protocol)) {}

    // Asks the socket for each datagram's adapter, and learns the named interface's adapter now; SocketError
    // when the socket cannot tell.
    void Attach(SOCKET socket);
    // One datagram into buffer, its size in got. Failed leaves the reason in WSAGetLastError; a datagram cut
    // to the buffer is admitted, whole or not, by the same rule.
    Arrival Receive(SOCKET socket, std::span<std::uint8_t> buffer, int& got, sockaddr_in& from);
    std::uint64_t Drops() const { return drops_; }

private:
    std::string protocol_;
    LPFN_WSARECVMSG recvMsg_ = nullptr;
    bool named_ = false;
    // The named interface's adapter and address; index 0, which no adapter has, when it has none.
    ULONG adapter_ = 0;
    in_addr address_{};
    std::uint64_t drops_ = 0;
};
