#pragma once

#include <optional>
#include <string>
#include <vector>

// The vantor-bridge command line.
struct BridgeOptions {
    std::optional<std::string> config;
    bool listPorts = false;
    bool status = false;
    bool check = false;
    bool help = false;
    // Print the [web] password line for a password read from standard input.
    bool hashPassword = false;
    int simulateWidgets = 0;
    // Ask the running node to update a port's widget from a firmware file.
    std::optional<int> firmwarePort;
    std::string firmwareFile;
};

struct ParsedBridgeOptions {
    BridgeOptions options;
    std::string error;  // empty when understood
};

ParsedBridgeOptions ParseBridgeOptions(const std::vector<std::string>& args);
std::string BridgeUsage();
