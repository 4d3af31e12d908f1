#include "page_listener.h"

#include <QTcpSocket>
#include <QTimer>
#include <QWebSocketServer>

namespace {

// A connection that has not sent its request's head by then is dropped.
constexpr int kHeadWithinMs = 10000;

}  // namespace

void PageListener::incomingConnection(qintptr descriptor) {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Sort(socket); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kHeadWithinMs, socket, [socket] {
        if (!socket->property("sorted").toBool()) socket->abort();
    });
}

// Looks at the head without taking it, so that whichever server gets the connection reads it whole.
void PageListener::Sort(QTcpSocket* socket) {
    const QByteArray head = socket->peek(kLongestHead);
    const qsizetype end = head.indexOf("\r\n\r\n");
    if (end < 0 && head.size() < kLongestHead) return;
    disconnect(socket, nullptr, this, nullptr);
    disconnect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->setProperty("sorted", true);
    const QByteArray lower = head.left(end).toLower();
    if (lower.contains("\r\nupgrade: websocket") || lower.contains("\r\nupgrade:websocket")) {
        webSockets_.handleConnection(socket);
        return;
    }
    addPendingConnection(socket);
    emit newConnection();
    // The HTTP server waits for bytes to come; these came already.
    emit socket->readyRead();
}
