#include "status_service.h"

#include <QLocalSocket>
#include <cstdlib>
#include <filesystem>

namespace {

constexpr int kAnswerWaitMs = 3000;
constexpr qint64 kLongestRequest = 4096;
constexpr const char* kServiceSocket = "/run/vantor-bridge/status";

}  // namespace

std::string StatusSocketPath(bool asking) {
    if (const char* runtime = std::getenv("RUNTIME_DIRECTORY"); runtime && *runtime)
        return std::string(runtime) + "/status";
    // A person at the machine asks the service, whatever their own runtime folder; a node they start
    // themselves must not take the service's socket away.
    std::error_code error;
    if (asking && std::filesystem::exists(kServiceSocket, error)) return kServiceSocket;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/vantor-bridge/status";
    return kServiceSocket;
}

StatusService::StatusService(Answer answer) : answer_(std::move(answer)) {}

bool StatusService::Listen(std::string& reason) {
    const std::filesystem::path path = StatusSocketPath(false);
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    // A node that ended without cleaning up leaves its socket behind.
    QLocalServer::removeServer(QString::fromStdString(path.string()));
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(QString::fromStdString(path.string()))) {
        reason = path.string() + ": " + server_->errorString().toStdString();
        server_.reset();
        return false;
    }
    QObject::connect(server_.get(), &QLocalServer::newConnection, [this] { Serve(); });
    return true;
}

void StatusService::Serve() {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
        QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        QObject::connect(client, &QLocalSocket::readyRead, client, [this, client] {
            if (!client->canReadLine()) {
                if (client->bytesAvailable() > kLongestRequest) client->abort();
                return;
            }
            const std::string request = client->readLine(kLongestRequest).trimmed().toStdString();
            const std::string answer = answer_(request);
            client->write(answer.data(), static_cast<qint64>(answer.size()));
            client->disconnectFromServer();
        });
    }
}

std::optional<std::string> AskRunningNode(const std::string& request, std::string& reason) {
    const std::string path = StatusSocketPath(true);
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(path));
    if (!socket.waitForConnected(kAnswerWaitMs)) {
        reason = "no node answers at " + path + ": " + socket.errorString().toStdString();
        return std::nullopt;
    }
    const std::string line = request + "\n";
    socket.write(line.data(), static_cast<qint64>(line.size()));
    socket.flush();
    QByteArray answer;
    while (socket.state() == QLocalSocket::ConnectedState && socket.waitForReadyRead(kAnswerWaitMs))
        answer += socket.readAll();
    answer += socket.readAll();
    if (answer.isEmpty()) {
        reason = "the node at " + path + " gave no answer";
        return std::nullopt;
    }
    return answer.toStdString();
}
