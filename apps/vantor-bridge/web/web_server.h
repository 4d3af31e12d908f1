#pragma once

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QJsonObject>
#include <QThreadPool>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "live_feed.h"
#include "node_settings.h"
#include "web_access.h"
#include "web_json.h"

// The node's page and its JSON API, served on the program's one thread of events. What a request may do
// is WebAccess's to say; what it changes goes through NodeSettings, so the file always holds what runs.
class WebServer : public QAbstractHttpServer {
public:
    // The largest firmware file taken: an image is 6144 bytes, and files carry some more.
    static constexpr qsizetype kLargestFirmware = 64 * 1024;

    WebServer(Node& node, NodeSettings& settings, NodeFacts facts, std::function<QJsonObject()> nodeCounts);
    ~WebServer() override;

    // Listens where the settings say; false with the reason.
    bool Listen(std::string& reason);
    // "http://127.0.0.1:8454/"
    std::string Address() const { return address_; }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Reply {
        int status = 200;
        QByteArray type = "application/json";
        QByteArray body;
        std::vector<std::pair<QByteArray, QByteArray>> headers;
    };

    Reply Route(const QHttpServerRequest& request);
    Reply Api(const QHttpServerRequest& request, const QStringList& path);
    Reply PortApi(const QHttpServerRequest& request, int port, const QString& what);
    Reply ChangePort(const QHttpServerRequest& request, int port);
    Reply Locate(const QHttpServerRequest& request, int port);
    Reply Firmware(const QHttpServerRequest& request, int port);
    // Answers at once, or later (nullopt) once the password was checked off the thread of events.
    std::optional<Reply> StartLogIn(const QHttpServerRequest& request, QTcpSocket* socket);
    static Reply LoginReply(const WebAccess::Login& login);
    Reply Page(const QString& path) const;
    Reply PortReply(int port, int status = 200) const;
    QJsonObject NodeObject();
    QByteArray LiveStatus();
    void TakeWebSocket();
    void ForgetFirmwareFile(int port);
    static Reply Json(const QJsonObject& object, int status = 200);
    static Reply Error(int status, const std::string& text);
    void Send(const QHttpServerRequest& request, QTcpSocket* socket, const Reply& reply);
    static void Send(QHttpServerResponder& responder, const Reply& reply);

    Node& node_;
    NodeSettings& settings_;
    NodeFacts facts_;
    std::function<QJsonObject()> nodeCounts_;
    WebAccess access_;
    LiveFeed feed_;
    std::string address_;
    std::map<int, QString> firmwareFiles_;  // the last upload of each port, until the next or the end
    // Last, so that it goes first: its checks end before what they report to.
    QThreadPool checks_;
};
