#include "live_feed.h"

#include <QWebSocket>
#include <algorithm>

namespace {

// A browser with this much still unsent is behind: it gets nothing new until it has caught up.
constexpr qint64 kMostUnsent = 256 * 1024;

}  // namespace

LiveFeed::LiveFeed(Node& node, std::function<std::vector<int>()> ports, std::function<QByteArray()> status,
                   std::function<bool(const QByteArray&)> mayRead)
    : node_(node), ports_(std::move(ports)), status_(std::move(status)), mayRead_(std::move(mayRead)) {
    // Rounded up and precise, so that no browser gets more than kUpdatesPerSecond: a coarse timer may fire
    // early.
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval((1000 + kUpdatesPerSecond - 1) / kUpdatesPerSecond);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
}

LiveFeed::~LiveFeed() {
    for (Client& client : clients_) {
        QObject::disconnect(client.socket, nullptr, nullptr, nullptr);
        delete client.socket;
    }
}

void LiveFeed::Take(std::unique_ptr<QWebSocket> socket, QByteArray cookies) {
    QWebSocket* taken = socket.release();
    QObject::connect(taken, &QWebSocket::disconnected, [this, taken] { Drop(taken); });
    taken->sendTextMessage(QString::fromUtf8(status_()));
    const std::vector<int> ports = ports_();
    clients_.push_back({taken, std::move(cookies), std::set<int>(ports.begin(), ports.end())});
    if (!timer_.isActive()) timer_.start();
}

void LiveFeed::Drop(QWebSocket* socket) {
    std::erase_if(clients_, [socket](const Client& client) { return client.socket == socket; });
    socket->deleteLater();
    if (clients_.empty()) timer_.stop();
}

void LiveFeed::Tick() {
    std::vector<int> changed;
    for (int port : ports_())
        if (node_.LevelsChanged(port)) changed.push_back(port);
    const bool statusDue = ++ticks_ % kUpdatesPerSecond == 0;
    const QByteArray status = statusDue ? status_() : QByteArray();
    std::vector<QWebSocket*> ended;  // sessions that ended: closed once the loop is done with the list
    for (Client& client : clients_) {
        if (statusDue && !mayRead_(client.cookies)) {
            ended.push_back(client.socket);
            continue;
        }
        client.owed.insert(changed.begin(), changed.end());
        if (client.socket->bytesToWrite() > kMostUnsent) continue;
        for (int port : client.owed) {
            const auto levels = node_.Levels(port);
            if (!levels) continue;
            message_.resize(1 + static_cast<qsizetype>(levels->size()));
            message_[0] = static_cast<char>(port);
            std::copy(levels->begin(), levels->end(), message_.begin() + 1);
            client.socket->sendBinaryMessage(message_);
        }
        client.owed.clear();
        if (statusDue) client.socket->sendTextMessage(QString::fromUtf8(status));
    }
    // Each close ends in the socket's disconnected signal, which drops its client.
    for (QWebSocket* socket : ended)
        socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("log in to see the node"));
}
