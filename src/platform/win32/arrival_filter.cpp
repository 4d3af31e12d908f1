#include "platform/win32/arrival_filter.h"

#include "artnet/udp_socket.h"
#include "platform/win32/environment.h"
#include "platform/win32/win32_udp_socket.h"

void ArrivalFilter::Attach(SOCKET socket) {
    const DWORD on = 1;
    GUID recvMsgId = WSAID_WSARECVMSG;
    DWORD returned = 0;
    if (setsockopt(socket, IPPROTO_IP, IP_PKTINFO, reinterpret_cast<const char*>(&on), sizeof on) != 0 ||
        WSAIoctl(socket, SIO_GET_EXTENSION_FUNCTION_POINTER, &recvMsgId, sizeof recvMsgId, &recvMsg_,
                 sizeof recvMsg_, &returned, nullptr, nullptr) != 0)
        throw SocketError(protocol_ + ": no arrival adapter: " + SocketErrorText());
    named_ = EnvironmentVariable(kInterfaceVariable).has_value();
    if (!named_) return;
    adapter_ = 0;
    address_ = {};
    try {
        const InterfaceAddress chosen = Win32UdpSocket::ChosenAddress();
        inet_pton(AF_INET, chosen.ip.c_str(), &address_);
        adapter_ = chosen.index;
    } catch (const SocketError&) {
        // A named interface without an address admits nothing, rather than every network.
    }
}

ArrivalFilter::Arrival ArrivalFilter::Receive(SOCKET socket, std::span<std::uint8_t> buffer, int& got,
                                              sockaddr_in& from) {
    WSABUF data{static_cast<ULONG>(buffer.size()), reinterpret_cast<char*>(buffer.data())};
    alignas(WSACMSGHDR) char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
    WSAMSG message{};
    message.name = reinterpret_cast<sockaddr*>(&from);
    message.namelen = sizeof from;
    message.lpBuffers = &data;
    message.dwBufferCount = 1;
    message.Control = {sizeof control, control};
    DWORD received = 0;
    got = 0;
    if (recvMsg_(socket, &message, &received, nullptr, nullptr) != 0) {
        if (WSAGetLastError() != WSAEMSGSIZE) return Arrival::Failed;
        received = data.len;
    }
    got = static_cast<int>(received);
    if (!named_) return Arrival::Admitted;
    // The node's own broadcasts come back by whichever adapter the system loops them through.
    bool admitted = from.sin_addr.s_addr == address_.s_addr && adapter_ != 0;
    for (WSACMSGHDR* header = WSA_CMSG_FIRSTHDR(&message); header && !admitted;
         header = WSA_CMSG_NXTHDR(&message, header))
        if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO)
            admitted = reinterpret_cast<const IN_PKTINFO*>(WSA_CMSG_DATA(header))->ipi_ifindex == adapter_;
    if (admitted) return Arrival::Admitted;
    if (drops_++ == 0)
        LogLine("vantor: " + protocol_ + " from another network than the named interface's is dropped");
    return Arrival::Dropped;
}
