#pragma once

#include <QByteArray>
#include <QTimer>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "node/node.h"

class QWebSocket;

// The page's live view: each port's levels as binary messages (the port's number, then its 512 levels),
// sent only when they changed and at most kUpdatesPerSecond times a second to each browser, and the status
// as a text message once a second. A browser that cannot keep up is skipped until it can; it then gets the
// latest levels, which each message carries whole.
class LiveFeed {
public:
    static constexpr int kUpdatesPerSecond = 30;

    // ports: the port numbers; status: the status message's text; mayRead: whether a browser with that
    // Cookie header may still see the node (a session ends, by logout or age).
    LiveFeed(Node& node, std::function<std::vector<int>()> ports, std::function<QByteArray()> status,
             std::function<bool(const QByteArray&)> mayRead);
    ~LiveFeed();

    void Take(std::unique_ptr<QWebSocket> socket, QByteArray cookies);
    std::size_t Browsers() const { return clients_.size(); }

private:
    struct Client {
        QWebSocket* socket;
        QByteArray cookies;
        std::set<int> owed;  // ports whose levels it has not had since they changed
    };

    void Tick();
    void Drop(QWebSocket* socket);

    Node& node_;
    std::function<std::vector<int>()> ports_;
    std::function<QByteArray()> status_;
    std::function<bool(const QByteArray&)> mayRead_;
    std::vector<Client> clients_;
    QTimer timer_;
    int ticks_ = 0;
    QByteArray message_;
};
