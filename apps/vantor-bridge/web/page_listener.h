#pragma once

#include <QTcpServer>

class QTcpSocket;
class QWebSocketServer;

// The page's listening socket. Each connection goes to the HTTP server, or, when it opens with a WebSocket
// handshake, to the WebSocket server: the HTTP server of Debian 12's Qt (6.4) answers a browser's upgrade
// as a plain request and never passes it on.
class PageListener : public QTcpServer {
public:
    // A head larger than this is no request of the page's: the HTTP server answers it.
    static constexpr qsizetype kLongestHead = 16 * 1024;

    explicit PageListener(QWebSocketServer& webSockets) : webSockets_(webSockets) {}

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void Sort(QTcpSocket* socket);

    QWebSocketServer& webSockets_;
};
