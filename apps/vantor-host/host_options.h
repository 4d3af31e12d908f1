#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// What the stand-in host was asked to do.
struct HostOptions {
    std::string pluginPath;  // empty: vantor.out.so beside the program
    std::optional<int> port;
    bool enable = false;
    std::vector<std::pair<int, int>> levels;  // channel, level
    bool readStdin = false;
    std::optional<bool> sendMode;
    std::optional<int> universe;
    bool sacn = false;  // --protocol sacn
    std::optional<int> priority;
    std::optional<int> ttl;  // of the bridge's own sACN
    std::optional<std::string> firmwareFile;
    bool headless = false;
    bool simulateWidget = false;
    std::optional<double> durationSeconds;
    std::optional<std::string> artNetInterface;  // VANTOR_ARTNET_INTERFACE for the plug-in
    std::optional<std::string> devices;          // VANTOR_SERIAL_PORTS; empty: the system's numbering
    bool reconnect = false;
    bool listPorts = false;
    bool quiet = false;
    bool help = false;
};

// A command line or input line the host cannot use; the text says why.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

HostOptions ParseHostOptions(const std::vector<std::string>& args);
std::string HostUsage();

// "CH=VAL" (command line) or "CH VAL" (standard input), checked against 1..512 and 0..255.
std::pair<int, int> ParseLevel(const std::string& text, char separator);
