#pragma once

#include <optional>
#include <string>
#include <variant>

#include "node/node_config.h"

// A change of one port's settings as a request carries it: only what it names changes. Values come as the
// request wrote them and are checked as the file's values are.
struct PortChange {
    std::optional<std::string> mode{};      // send, receive
    std::optional<std::string> protocol{};  // artnet, sacn
    std::optional<std::string> universe{};  // a number, or net:sub:uni for Art-Net
    std::optional<long long> priority{};
    std::optional<std::string> name{};      // empty: the default name
    std::optional<std::string> longName{};  // empty: the default long name
    std::optional<std::string> merge{};     // htp, ltp
    bool operator==(const PortChange&) const = default;
};

// The node's settings with the change made, or why it cannot be (the first reason, without file or line):
// an unknown port, a value out of range, a universe that another receiving port already sends.
std::variant<NodeConfig, std::string> ChangedConfig(const NodeConfig& config, int portNumber,
                                                    const PortChange& change);
