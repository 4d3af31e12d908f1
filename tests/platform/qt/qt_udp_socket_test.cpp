#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "platform/qt/qt_udp_socket.h"
#include "qt_test_app.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// A plain UDP socket on 127.0.0.1, the other end of every exchange here.
class LoopbackPeer {
public:
    LoopbackPeer() {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        timeval wait{2, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    ~LoopbackPeer() { close(fd_); }
    std::uint16_t Port() const { return port_; }

    void SendTo(std::uint16_t port, const Bytes& bytes) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    Bytes Receive() {
        Bytes buffer(2048);
        const ssize_t got = recv(fd_, buffer.data(), buffer.size(), 0);
        buffer.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return buffer;
    }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

// A port number nobody holds right now.
std::uint16_t FreePort() {
    LoopbackPeer probe;
    return probe.Port();
}

class QtUdpSocketOnLoopback : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureQtApplication();
        setenv("VANTOR_ARTNET_INTERFACE", "lo", 1);
    }
};

TEST_F(QtUdpSocketOnLoopback, DatagramsArriveWholeAndAnnouncedOnceEach) {
    QtUdpSocket socket;
    const std::uint16_t port = FreePort();
    socket.Bind(port);
    std::vector<std::size_t> announced;
    std::vector<Bytes> read;
    std::vector<UdpEndpoint> senders;
    socket.DataArrival = [&](std::size_t size) {
        announced.push_back(size);
        read.push_back(socket.GetData());
        senders.push_back(socket.LastSender());
    };
    LoopbackPeer peer;
    const Bytes first = {'A', 'r', 't', 0x00, 0x7E, 0xE7, 0xFF};
    const Bytes second(530, 0x5A);
    peer.SendTo(port, first);
    peer.SendTo(port, second);
    ASSERT_TRUE(RunEventsUntil([&] { return read.size() >= 2; }, 2s));
    RunEventsFor(50ms);
    EXPECT_EQ(announced, (std::vector<std::size_t>{first.size(), second.size()}));
    EXPECT_EQ(read, (std::vector<Bytes>{first, second}));
    const UdpEndpoint sender{{127, 0, 0, 1}, peer.Port()};
    EXPECT_EQ(senders, (std::vector<UdpEndpoint>{sender, sender}));
    EXPECT_TRUE(socket.GetData().empty());
}

// A handler that lets events run (as a message box does) finishes before the next datagram is announced.
TEST_F(QtUdpSocketOnLoopback, AHandlerThatRunsEventsIsNotEnteredAgain) {
    QtUdpSocket socket;
    const std::uint16_t port = FreePort();
    socket.Bind(port);
    LoopbackPeer peer;
    int depth = 0, deepest = 0;
    std::vector<Bytes> read;
    socket.DataArrival = [&](std::size_t) {
        deepest = std::max(deepest, ++depth);
        read.push_back(socket.GetData());
        if (read.size() == 1) {
            peer.SendTo(port, {2});
            RunEventsFor(100ms);
        }
        --depth;
    };
    peer.SendTo(port, {1});
    ASSERT_TRUE(RunEventsUntil([&] { return read.size() >= 2; }, 2s));
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(read, (std::vector<Bytes>{{1}, {2}}));
}

TEST_F(QtUdpSocketOnLoopback, SendDataGoesToTheRemoteHostAndPort) {
    QtUdpSocket socket;
    socket.Bind(FreePort());
    LoopbackPeer peer;
    socket.SetRemoteHost("127.0.0.1");
    socket.SetRemotePort(peer.Port());
    const Bytes datagram = {0x00, 0x01, 0x7E, 0xE7, 0xFF};
    socket.SendData(datagram);
    EXPECT_EQ(peer.Receive(), datagram);
}

TEST_F(QtUdpSocketOnLoopback, PortAlreadyTakenIsRefused) {
    const std::uint16_t port = FreePort();
    QtUdpSocket first, second;
    first.Bind(port);
    EXPECT_THROW(second.Bind(port), SocketError);
}

TEST_F(QtUdpSocketOnLoopback, RemoteHostMustBeADottedIPv4Address) {
    QtUdpSocket socket;
    EXPECT_THROW(socket.SetRemoteHost("not an address"), SocketError);
    EXPECT_THROW(socket.SetRemoteHost("::1"), SocketError);
    EXPECT_NO_THROW(socket.SetRemoteHost("127.255.255.255"));
}

TEST_F(QtUdpSocketOnLoopback, SendingBeforeARemoteHostIsSetFails) {
    QtUdpSocket socket;
    EXPECT_THROW(socket.SendData(Bytes{1}), SocketError);
}

TEST_F(QtUdpSocketOnLoopback, NamedInterfaceGivesItsAddressAndNetmask) {
    QtUdpSocket socket;
    EXPECT_EQ(socket.LocalIP(), "127.0.0.1");
    EXPECT_EQ(socket.LocalNetmask(), "255.0.0.0");
    setenv("VANTOR_ARTNET_INTERFACE", "127.0.0.1", 1);
    EXPECT_EQ(socket.LocalIP(), "127.0.0.1");
    setenv("VANTOR_ARTNET_INTERFACE", "no-such-interface0", 1);
    EXPECT_THROW(socket.LocalIP(), SocketError);
}

}  // namespace
