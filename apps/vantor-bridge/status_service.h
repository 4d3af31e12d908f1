#pragma once

#include <QLocalServer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// Where the running node answers --status: a local socket in its runtime folder ($RUNTIME_DIRECTORY under
// systemd, else $XDG_RUNTIME_DIR/vantor-bridge, else /run/vantor-bridge). Asking, the service's socket comes
// before the person's own folder. Never the network.
std::string StatusSocketPath(bool asking);

// The node's side: each client sends one request line ("status", or "update-firmware PORT FILE") and gets
// the answer's text, then the connection closes.
class StatusService {
public:
    using Answer = std::function<std::string(const std::string& request)>;

    explicit StatusService(Answer answer);
    // False, with the reason, when the socket cannot be had; the node runs on without it.
    bool Listen(std::string& reason);

private:
    void Serve();

    Answer answer_;
    std::unique_ptr<QLocalServer> server_;
};

// The client's side: the answer, or nullopt with the reason when no node answers.
std::optional<std::string> AskRunningNode(const std::string& request, std::string& reason);
