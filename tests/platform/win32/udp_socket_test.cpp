// The socket control on loopback (the test runs in a network namespace with only lo): binding is exclusive,
// and a datagram arrives whole, announced on the window's thread.

#include "platform/win32/win32_udp_socket.h"

#include <gtest/gtest.h>

#include "platform/win32/win32_event_loop.h"

namespace {

constexpr std::uint16_t kPort = 6454;

TEST(UdpSocket, BindIsExclusive) {
    MessageWindow window(L"socket test");
    Win32UdpSocket first(window), second(window);
    first.Bind(kPort);
    EXPECT_THROW(second.Bind(kPort), SocketError);
}

TEST(UdpSocket, ADatagramArrivesWholeAndIsAnnouncedOnce) {
    MessageWindow window(L"socket test");
    Win32UdpSocket receiver(window), sender(window);
    receiver.Bind(kPort);
    sender.Bind(kPort + 1);
    std::vector<std::size_t> announced;
    receiver.DataArrival = [&](std::size_t bytes) { announced.push_back(bytes); };
    std::vector<std::uint8_t> datagram(530);
    for (std::size_t index = 0; index < datagram.size(); ++index)
        datagram[index] = static_cast<std::uint8_t>(index);
    sender.SetRemoteHost("127.0.0.1");
    sender.SetRemotePort(kPort);
    sender.SendData(datagram);
    for (int round = 0; round < 50 && announced.empty(); ++round) Win32EventLoop::RunFor(20);
    ASSERT_EQ(announced, std::vector<std::size_t>{datagram.size()});
    EXPECT_EQ(receiver.GetData(), datagram);
    EXPECT_EQ(receiver.LastSender(), (UdpEndpoint{{127, 0, 0, 1}, kPort + 1}));
    EXPECT_TRUE(receiver.GetData().empty());
}

TEST(UdpSocket, RefusesABadRemoteHostAndASendBeforeBinding) {
    MessageWindow window(L"socket test");
    Win32UdpSocket socket(window);
    EXPECT_THROW(socket.SetRemoteHost("10.0.0"), SocketError);
    socket.SetRemoteHost("127.0.0.1");
    EXPECT_THROW(socket.SendData(std::vector<std::uint8_t>{1}), SocketError);
}

}  // namespace
