#pragma once

#include <netinet/in.h>

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

// The one socket style of the Linux build, under both the Art-Net and the sACN socket: a plain non-blocking
// IPv4 UDP socket whose arrivals Qt's event loop reports through a QSocketNotifier (QUdpSocket costs a peek,
// its own read and a proxy thread on the way). When the bridge was given an interface, a datagram that came
// in on another is dropped here and counted; the first such is logged, the rest only counted.
class DatagramSocket {
public:
    using Category = const QLoggingCategory& (*)();

    // protocol names the socket in the log line ("Art-Net", "sACN"); category is where that line goes.
    DatagramSocket(std::string protocol, Category category);
    ~DatagramSocket();
    DatagramSocket(const DatagramSocket&) = delete;
    DatagramSocket& operator=(const DatagramSocket&) = delete;

    // A new socket in place of the open one; false, with errno set, when the system refuses.
    bool Create();
    // Binds the port on every IPv4 address and reports arrivals to onReadable. shared: other receivers on
    // this machine may bind the port too; otherwise a port already taken is refused. SocketError on failure.
    void Bind(std::uint16_t port, bool shared, std::function<void()> onReadable);
    void Close();
    bool Bound() const { return notifier_ != nullptr; }
    int Descriptor() const { return fd_; }
    // From now on (and in sockets created later) only datagrams that arrive on the interface of this index,
    // or from this machine itself over loopback, are taken; 0 takes every one.
    void TakeOnlyFrom(unsigned interfaceIndex);
    // The next datagram into buffer (a longer one is cut to its size) and its sender: its size, or nullopt
    // when none is pending.
    std::optional<std::size_t> Receive(std::span<std::uint8_t> buffer, sockaddr_in& from);
    // Off while a handler that runs events is at work, so that the next arrival does not enter it again.
    void SetWatching(bool on);
    std::uint64_t OtherInterfaceDrops() const { return otherInterfaceDrops_; }

private:
    bool ArrivedElsewhere(const msghdr& message);
    void EnableArrivalInterface();

    std::string protocol_;
    Category category_;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    unsigned takenIndex_ = 0;
    unsigned loopbackIndex_ = 0;
    std::uint64_t otherInterfaceDrops_ = 0;
};
