#pragma once

#include <QTcpServer>

// The page's listening socket. Qt's HTTP server takes a request's body whole before it hands the request
// on, so a connection that has sent more than kLargestRequest without an answer is cut off here: no request
// can fill the node's memory.
class PageListener : public QTcpServer {
public:
    static constexpr qint64 kLargestRequest = 256 * 1024;

protected:
    void incomingConnection(qintptr descriptor) override;
};
