// The socket control on loopback (the test runs in a network namespace with only lo): binding is exclusive,
// a datagram arrives whole, announced on the window's thread, a flood is read in bounded rounds, and a named
// interface takes only what came by it.

#include "platform/win32/win32_udp_socket.h"

#include <gtest/gtest.h>

#include "platform/win32/environment.h"
#include "platform/win32/text.h"
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
    for (int round = 0; round < 1000 && announced.empty(); ++round) Win32EventLoop::RunFor(20);
    ASSERT_EQ(announced, std::vector<std::size_t>{datagram.size()});
    EXPECT_EQ(receiver.GetData(), datagram);
    EXPECT_EQ(receiver.LastSender(), (UdpEndpoint{{127, 0, 0, 1}, kPort + 1}));
    EXPECT_TRUE(receiver.GetData().empty());
}

// A message posted behind a flood runs before more than a wake-up's worth of it has been read, and the rest
// is read after it.
TEST(UdpSocket, AFloodYieldsToTheEventLoopAfterAWakeUpsWorth) {
    MessageWindow window(L"socket test");
    Win32UdpSocket receiver(window), sender(window);
    receiver.Bind(kPort);
    sender.Bind(kPort + 1);
    int announced = 0;
    receiver.DataArrival = [&](std::size_t) { announced += !receiver.GetData().empty(); };
    int announcedBefore = -1;
    const UINT behind = window.AddHandler([&](WPARAM, LPARAM) { announcedBefore = announced; });
    sender.SetRemoteHost("127.0.0.1");
    sender.SetRemotePort(kPort);
    const int flood = kMaxDatagramsPerArrival + 40;
    for (int sent = 0; sent < flood; ++sent) sender.SendData(std::vector<std::uint8_t>{1});
    PostMessageW(window.Handle(), behind, 0, 0);
    for (int round = 0; round < 1000 && announced < flood; ++round) Win32EventLoop::RunFor(20);
    EXPECT_EQ(announced, flood);
    EXPECT_GE(announcedBefore, 0);
    EXPECT_LE(announcedBefore, kMaxDatagramsPerArrival);
}

// With an interface named, a datagram is taken only when it came by that interface's adapter. The sender is
// another address of loopback, so that the adapter alone decides; a name that no adapter has takes nothing.
TEST(UdpSocket, WithAnInterfaceNamedOnlyItsDatagramsAreTaken) {
    struct Row {
        const wchar_t* named;
        bool taken;
    };
    const Row rows[] = {{nullptr, true}, {L"127.0.0.1", true}, {L"no-such-interface", false}};
    const auto before = EnvironmentVariable("VANTOR_ARTNET_INTERFACE");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.named ? Narrow(row.named) : "none named");
        SetEnvironmentVariableW(L"VANTOR_ARTNET_INTERFACE", row.named);
        MessageWindow window(L"socket test");
        Win32UdpSocket receiver(window);
        receiver.Bind(kPort);
        int announced = 0;
        receiver.DataArrival = [&](std::size_t) { ++announced; };
        const SOCKET other = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        inet_pton(AF_INET, "127.0.0.2", &address.sin_addr);
        ASSERT_EQ(bind(other, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        address.sin_port = htons(kPort);
        ASSERT_EQ(sendto(other, "x", 1, 0, reinterpret_cast<const sockaddr*>(&address), sizeof address), 1);
        for (int round = 0; round < 1000 && announced + receiver.OtherInterfaceDrops() == 0; ++round)
            Win32EventLoop::RunFor(20);
        closesocket(other);
        EXPECT_EQ(announced, row.taken ? 1 : 0);
        EXPECT_EQ(receiver.OtherInterfaceDrops(), row.taken ? 0u : 1u);
    }
    SetEnvironmentVariableW(L"VANTOR_ARTNET_INTERFACE", before ? Widen(*before).c_str() : nullptr);
}

TEST(UdpSocket, RefusesABadRemoteHostAndASendBeforeBinding) {
    MessageWindow window(L"socket test");
    Win32UdpSocket socket(window);
    EXPECT_THROW(socket.SetRemoteHost("10.0.0"), SocketError);
    socket.SetRemoteHost("127.0.0.1");
    EXPECT_THROW(socket.SendData(std::vector<std::uint8_t>{1}), SocketError);
}

}  // namespace
