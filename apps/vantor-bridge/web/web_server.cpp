#include "web_server.h"

#include <QDir>

#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QWebSocket>
#include "page_listener.h"

namespace {

using Method = QHttpServerRequest::Method;

const std::vector<std::pair<QByteArray, QByteArray>> kAlwaysHeaders = {
    {"Cache-Control", "no-store"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
    {"Content-Security-Policy",
     "default-src 'self'; connect-src 'self'; img-src 'self' data:; frame-ancestors 'none'; form-action "
     "'self'"},
};

std::optional<int> PortNumber(const QString& text) {
    bool number = false;
    const int port = text.toInt(&number);
    return number && port >= 1 && port <= kMaxNodePorts ? std::optional(port) : std::nullopt;
}

// A whole number, as JSON gives every number as a double.
std::optional<long long> WholeNumber(const QJsonValue& value) {
    if (!value.isDouble()) return std::nullopt;
    const double number = value.toDouble();
    if (number != static_cast<double>(static_cast<long long>(number)) || number < -1e15 || number > 1e15)
        return std::nullopt;
    return static_cast<long long>(number);
}

}  // namespace

WebServer::WebServer(Node& node, NodeSettings& settings, NodeFacts facts,
                     std::function<QJsonObject()> nodeCounts)
    : node_(node),
      settings_(settings),
      facts_(std::move(facts)),
      nodeCounts_(std::move(nodeCounts)),
      access_(settings.Config().web),
      feed_(
          node,
          [this] {
              std::vector<int> numbers;
              for (const PortConfig& port : settings_.Config().ports) numbers.push_back(port.number);
              return numbers;
          },
          [this] { return LiveStatus(); },
          [this](const QByteArray& cookies) { return access_.MayRead(cookies, WebAccess::Clock::now()); }) {
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this, [this] { TakeWebSocket(); });
}

WebServer::~WebServer() {
    for (const auto& [port, file] : firmwareFiles_) QFile::remove(file);
}

bool WebServer::Listen(std::string& reason) {
    const WebConfig& web = settings_.Config().web;
    auto* listener = new PageListener;
    if (!listener->listen(QHostAddress(QString::fromStdString(web.listen)), static_cast<quint16>(web.port))) {
        delete listener;
        reason = "the page cannot listen on " + web.listen + " port " + std::to_string(web.port) +
                 " (in use, or not an address of this machine)";
        return false;
    }
    bind(listener);
    address_ = "http://" + web.listen + ":" + std::to_string(web.port) + "/";
    return true;
}

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    // Qt 6.4 hands a WebSocket upgrade to the live feed only once this took it without answering it;
    // TakeWebSocket then checks it as every request is checked.
    if (request.value("Upgrade").compare("websocket", Qt::CaseInsensitive) == 0) return true;
    if (request.url().path() == "/api/login" && request.method() == Method::Post) {
        if (const std::optional<Reply> now = StartLogIn(request, socket)) Send(request, socket, *now);
        return true;
    }
    Send(request, socket, Route(request));
    return true;
}

void WebServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    Send(request, socket, Error(404, "no such page"));
}

WebServer::Reply WebServer::Route(const QHttpServerRequest& request) {
    const QString path = request.url().path();
    if (!path.startsWith("/api/")) {
        if (std::string foreign = access_.Foreign(request, false); !foreign.empty())
            return Error(403, foreign);
        if (request.method() != Method::Get) return Error(405, "the page's files are only to be read");
        return Page(path);
    }
    QStringList parts = path.mid(5).split('/');
    if (!parts.isEmpty() && parts.last().isEmpty()) parts.removeLast();
    return Api(request, parts);
}

WebServer::Reply WebServer::Page(const QString& path) const {
    static const std::map<QString, std::pair<QString, QByteArray>> files = {
        {"/", {":/page/index.html", "text/html; charset=utf-8"}},
        {"/index.html", {":/page/index.html", "text/html; charset=utf-8"}},
        {"/page.css", {":/page/page.css", "text/css; charset=utf-8"}},
        {"/page.js", {":/page/page.js", "text/javascript; charset=utf-8"}},
    };
    const auto found = files.find(path);
    if (found == files.end()) return Error(404, "no such page");
    QFile file(found->second.first);
    if (!file.open(QIODevice::ReadOnly)) return Error(404, "no such page");
    return {200, found->second.second, file.readAll(), {}};
}

WebServer::Reply WebServer::Api(const QHttpServerRequest& request, const QStringList& path) {
    const auto now = WebAccess::Clock::now();
    const Method method = request.method();
    const bool changes = method != Method::Get && method != Method::Head;
    if (std::string foreign = access_.Foreign(request, changes); !foreign.empty()) return Error(403, foreign);
    const QString first = path.value(0);
    if (first == "logout" && path.size() == 1 && method == Method::Post) {
        access_.LogOut(HeaderOf(request, "Cookie"));
        Reply reply = Json({{"session", !access_.PasswordSet()}});
        reply.headers.emplace_back(
            "Set-Cookie", QByteArray(WebAccess::kCookie) + "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0");
        return reply;
    }
    if (first == "node" && path.size() == 1 && method == Method::Get) {
        // Always readable in part, so that the page knows to ask for the password.
        QJsonObject node = access_.MayRead(request, now) ? NodeObject() : QJsonObject();
        node["session"] = access_.MayChange(request, now);
        node["passwordSet"] = access_.PasswordSet();
        node["readNeedsPassword"] = settings_.Config().web.readNeedsPassword;
        return Json(node);
    }
    if (changes ? !access_.MayChange(request, now) : !access_.MayRead(request, now))
        return Error(401, changes ? "log in to change the node" : "log in to see the node");
    if (changes && method != Method::Post && method != Method::Put)
        return Error(405, "not a method of the API");
    if (first == "ports" && path.size() == 1 && method == Method::Get)
        return Json({{"ports", PortsJson(node_.Status())}});
    if (first == "ports" && (path.size() == 2 || path.size() == 3)) {
        const std::optional<int> port = PortNumber(path[1]);
        const auto& ports = settings_.Config().ports;
        if (!port || std::none_of(ports.begin(), ports.end(),
                                  [&](const PortConfig& each) { return each.number == *port; }))
            return Error(404, "no port " + path[1].toStdString());
        return PortApi(request, *port, path.value(2));
    }
    if (first == "search" && path.size() == 1) {
        if (method == Method::Post) {
            node_.StartSearch();
            return Json({{"searching", true}}, 202);
        }
        QJsonArray widgets;
        for (const FoundWidget& found : node_.FoundWidgets())
            widgets.append(QJsonObject{{"path", QString::fromStdString(found.path)},
                                       {"byId", QString::fromStdString(found.byId)},
                                       {"serialNumber", QString::fromStdString(found.serialNumber)},
                                       {"firmware", QString::fromStdString(found.firmware)},
                                       {"port", found.port}});
        return Json({{"searching", node_.Searching()}, {"widgets", widgets}});
    }
    return Error(404, "not a request of the API");
}

WebServer::Reply WebServer::PortApi(const QHttpServerRequest& request, int port, const QString& what) {
    const Method method = request.method();
    if (what.isEmpty() && method == Method::Get) return PortReply(port);
    if (what.isEmpty() && method == Method::Put) return ChangePort(request, port);
    if (what == "levels" && method == Method::Get) {
        QJsonArray levels;
        for (std::uint8_t level : node_.Levels(port).value_or(std::array<std::uint8_t, 512>{}))
            levels.append(level);
        return Json({{"port", port}, {"levels", levels}});
    }
    if (what == "locate" && method == Method::Post) return Locate(request, port);
    if (what == "firmware" && method == Method::Post) return Firmware(request, port);
    return Error(404, "not a request of the API");
}

namespace {

// The body as a JSON object, or why it is not one.
std::variant<QJsonObject, std::string> JsonBody(const QHttpServerRequest& request) {
    if (!HeaderOf(request, "Content-Type").toLower().startsWith("application/json"))
        return std::string("the body must be JSON (Content-Type: application/json)");
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(request.body(), &error);
    if (error.error != QJsonParseError::NoError)
        return "the body is not JSON: " + error.errorString().toStdString() + " at byte " +
               std::to_string(error.offset);
    if (!document.isObject()) return std::string("the body must be a JSON object");
    return document.object();
}

}  // namespace

WebServer::Reply WebServer::ChangePort(const QHttpServerRequest& request, int port) {
    auto body = JsonBody(request);
    if (auto* error = std::get_if<std::string>(&body)) return Error(400, *error);
    const QJsonObject& fields = std::get<QJsonObject>(body);
    PortChange change;
    const std::map<QString, std::optional<std::string>*> texts = {{"mode", &change.mode},
                                                                  {"protocol", &change.protocol},
                                                                  {"name", &change.name},
                                                                  {"longName", &change.longName},
                                                                  {"merge", &change.merge}};
    for (auto field = fields.begin(); field != fields.end(); ++field) {
        const QString key = field.key();
        const QJsonValue value = field.value();
        if (const auto text = texts.find(key); text != texts.end()) {
            if (!value.isString()) return Error(400, key.toStdString() + " must be a text");
            *text->second = value.toString().toStdString();
        } else if (key == "universe" && value.isString() && value.toString().contains(':')) {
            // Art-Net's net:sub:uni, checked as the file's is; a number stays a JSON number.
            change.universe = value.toString().toStdString();
        } else if (key == "universe" || key == "priority") {
            const auto number = WholeNumber(value);
            if (!number)
                return Error(400, key == "universe" ? "universe must be a whole number, or a text net:sub:uni"
                                                    : "priority must be a whole number");
            if (key == "universe")
                change.universe = std::to_string(*number);
            else
                change.priority = *number;
        } else {
            return Error(400, "unknown setting '" + key.toStdString() +
                                  "': mode, protocol, universe, priority, name, longName and merge can be "
                                  "changed");
        }
    }
    const NodeSettings::Outcome outcome = settings_.Change(node_, port, change, Node::Clock::now());
    if (!outcome.error.empty())
        return Error(outcome.error.starts_with("cannot save") ? 500 : 400, outcome.error);
    Reply reply = PortReply(port);
    QJsonObject object = QJsonDocument::fromJson(reply.body).object();
    object["saved"] = outcome.saved;
    return Json(object);
}

WebServer::Reply WebServer::Locate(const QHttpServerRequest& request, int port) {
    auto body = JsonBody(request);
    if (auto* error = std::get_if<std::string>(&body)) return Error(400, *error);
    const QJsonValue on = std::get<QJsonObject>(body).value("on");
    if (!on.isBool()) return Error(400, "on must be true or false");
    node_.SetLocating(port, on.toBool());
    return PortReply(port);
}

WebServer::Reply WebServer::Firmware(const QHttpServerRequest& request, int port) {
    const QByteArray image = request.body();
    if (image.size() > kLargestFirmware)
        return Error(413, "a firmware file is at most " + std::to_string(kLargestFirmware) +
                              " bytes; this one has " + std::to_string(image.size()));
    if (image.isEmpty()) return Error(400, "the firmware file is empty");
    const QString folder = qEnvironmentVariableIsSet("CACHE_DIRECTORY")
                               ? qEnvironmentVariable("CACHE_DIRECTORY")
                               : QDir::tempPath();
    QTemporaryFile file(folder + "/vantor-bridge-firmware-XXXXXX.bin");
    file.setAutoRemove(false);
    if (!file.open() || file.write(image) != image.size() || !file.flush()) {
        file.remove();
        return Error(500, "cannot keep the firmware file in " + folder.toStdString());
    }
    file.close();
    if (!node_.UpdateFirmware(port, file.fileName().toStdString())) {
        file.remove();
        return Error(
            409, "port " + std::to_string(port) + " has no widget to update now (not linked, or updating)");
    }
    ForgetFirmwareFile(port);
    firmwareFiles_[port] = file.fileName();
    return PortReply(port, 202);
}

void WebServer::ForgetFirmwareFile(int port) {
    if (const auto found = firmwareFiles_.find(port); found != firmwareFiles_.end()) {
        QFile::remove(found->second);
        firmwareFiles_.erase(found);
    }
}

std::optional<WebServer::Reply> WebServer::StartLogIn(const QHttpServerRequest& request, QTcpSocket* socket) {
    if (std::string foreign = access_.Foreign(request, true); !foreign.empty()) return Error(403, foreign);
    auto body = JsonBody(request);
    if (auto* error = std::get_if<std::string>(&body)) return Error(400, *error);
    const QJsonValue password = std::get<QJsonObject>(body).value("password");
    if (!password.isString()) return Error(400, "password must be a text");
    const QHostAddress from = request.remoteAddress();
    if (const auto answer = access_.Admit(from, WebAccess::Clock::now())) return LoginReply(*answer);
    // The hash takes a while by design: worked out on a thread of its own, it holds up no frame.
    auto* responder = new QHttpServerResponder(makeResponder(request, socket));
    checks_.start([this, responder, from, typed = password.toString().toUtf8(),
                   stored = access_.StoredPassword(), alive = QPointer<QTcpSocket>(socket)] {
        const bool matches = PasswordMatches(typed, stored);
        QMetaObject::invokeMethod(
            this,
            [this, responder, from, alive, matches] {
                const Reply reply = LoginReply(access_.Finish(matches, from, WebAccess::Clock::now()));
                // A caller who went away meanwhile leaves its answer unsent: the responder's socket is gone
                // with it, so it is left alone.
                if (!alive) return;
                Send(*responder, reply);
                delete responder;
            },
            Qt::QueuedConnection);
    });
    return std::nullopt;
}

WebServer::Reply WebServer::LoginReply(const WebAccess::Login& login) {
    if (login.outcome == WebAccess::Login::Outcome::Opened) {
        Reply reply = Json({{"session", true}});
        reply.headers.emplace_back("Set-Cookie", QByteArray(WebAccess::kCookie) + "=" + login.token +
                                                     "; Path=/; HttpOnly; SameSite=Strict");
        return reply;
    }
    const bool slowed = login.outcome == WebAccess::Login::Outcome::Slowed;
    Reply reply = Json({{"error", slowed ? "too many wrong passwords: try again in " +
                                               QString::number(login.retryAfter) + " s"
                                         : QStringLiteral("wrong password")},
                        {"retryAfter", login.retryAfter}},
                       slowed ? 429 : 401);
    reply.headers.emplace_back("Retry-After", QByteArray::number(login.retryAfter));
    return reply;
}

WebServer::Reply WebServer::PortReply(int port, int status) const {
    for (const PortStatus& row : node_.Status())
        if (row.number == port) return Json(PortJson(row), status);
    return Error(404, "no port " + std::to_string(port));
}

QJsonObject WebServer::NodeObject() {
    QJsonObject node = NodeJson(facts_, std::chrono::steady_clock::now());
    // A reload may have named the node, or turned remote configuration on or off, since it started.
    if (!settings_.Config().name.empty()) node["name"] = QString::fromStdString(settings_.Config().name);
    node["remoteConfig"] = settings_.Config().remoteConfig;
    const QJsonObject counts = nodeCounts_();
    for (auto count = counts.begin(); count != counts.end(); ++count) node[count.key()] = count.value();
    return node;
}

QByteArray WebServer::LiveStatus() {
    return QJsonDocument(
               QJsonObject{{"type", "status"}, {"node", NodeObject()}, {"ports", PortsJson(node_.Status())}})
        .toJson(QJsonDocument::Compact);
}

void WebServer::TakeWebSocket() {
    while (hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> socket = nextPendingWebSocketConnection();
        const QNetworkRequest& request = socket->request();
        std::string refusal = access_.Foreign(request.rawHeader("Host"), socket->origin().toUtf8(),
                                              request.rawHeader("Sec-Fetch-Site"), true);
        if (refusal.empty() && request.url().path() != "/api/live") refusal = "not a live feed";
        if (refusal.empty() && !access_.MayRead(request.rawHeader("Cookie"), WebAccess::Clock::now()))
            refusal = "log in to see the node";
        if (!refusal.empty()) {
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QString::fromStdString(refusal));
            socket.release()->deleteLater();
            continue;
        }
        QByteArray cookies = request.rawHeader("Cookie");
        feed_.Take(std::move(socket), std::move(cookies));
    }
}

WebServer::Reply WebServer::Json(const QJsonObject& object, int status) {
    return {status, "application/json", QJsonDocument(object).toJson(QJsonDocument::Compact), {}};
}

WebServer::Reply WebServer::Error(int status, const std::string& text) {
    return Json({{"error", QString::fromStdString(text)}}, status);
}

void WebServer::Send(const QHttpServerRequest& request, QTcpSocket* socket, const Reply& reply) {
    QHttpServerResponder responder = makeResponder(request, socket);
    Send(responder, reply);
}

void WebServer::Send(QHttpServerResponder& responder, const Reply& reply) {
    responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(reply.status));
    responder.writeHeader("Content-Type", reply.type);
    responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    for (const auto& [name, value] : kAlwaysHeaders) responder.writeHeader(name, value);
    for (const auto& [name, value] : reply.headers) responder.writeHeader(name, value);
    responder.writeBody(reply.body);
}
