#pragma once

#include <functional>
#include <optional>
#include <string>

#include "node/node.h"
#include "node/port_change.h"

// The node's settings and the file they live in. A change from the page or a console is saved before it is
// applied, so that what runs is always what the file says; a reload reads the file again.
class NodeSettings {
public:
    // requested: the file the command line names, if any; file: the file read, empty when there is none
    // (simulated widgets without one); legacy: the old bridge's file, which the node does not write.
    NodeSettings(NodeConfig config, std::optional<std::string> requested, std::string file, bool legacy)
        : config_(std::move(config)),
          requested_(std::move(requested)),
          file_(std::move(file)),
          legacy_(legacy) {}

    const NodeConfig& Config() const { return config_; }

    struct Outcome {
        std::string error;  // empty: applied
        bool saved = false;
    };
    // Checks the change, saves it and applies it to the node; on any failure nothing changes.
    Outcome Change(Node& node, int portNumber, const PortChange& change, Node::TimePoint now);
    // Reads the file again and applies what changed; a file that no longer parses changes nothing. The
    // interface and the page's settings hold until the next start.
    void Reload(Node& node, const std::function<void(const std::string&)>& say, Node::TimePoint now);

private:
    NodeConfig config_;
    std::optional<std::string> requested_;
    std::string file_;
    bool legacy_;
};
