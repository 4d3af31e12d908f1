#include "page_listener.h"

#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QTcpSocket>
#include <cstddef>
#include <memory>

namespace {

// What the connection has brought in all, as the kernel counts it, however much of it the server has read.
qint64 BytesReceived(const QTcpSocket& socket) {
    tcp_info info{};
    socklen_t size = sizeof info;
    if (::getsockopt(static_cast<int>(socket.socketDescriptor()), IPPROTO_TCP, TCP_INFO, &info, &size) != 0 ||
        size < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received)
        return 0;
    return static_cast<qint64>(info.tcpi_bytes_received);
}

}  // namespace

void PageListener::incomingConnection(qintptr descriptor) {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    // Bytes received up to the last answer: a request is what came since.
    auto answered = std::make_shared<qint64>(0);
    // Connected before the HTTP server's own, so that a request too large is cut off before the server takes
    // more of it.
    connect(socket, &QTcpSocket::readyRead, socket, [socket, answered] {
        if (BytesReceived(*socket) - *answered > kLargestRequest) socket->abort();
    });
    connect(socket, &QTcpSocket::bytesWritten, socket,
            [socket, answered] { *answered = BytesReceived(*socket); });
    addPendingConnection(socket);
}
