#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stuff/bridge_settings.h"

inline constexpr int kMaxNodePorts = 16;
inline constexpr const char* kNodeConfigPath = "/etc/vantor-bridge.conf";
// The settings of the single-widget bridge that came before, read while the node's own file is absent.
inline constexpr const char* kLegacyDefaultsPath = "/etc/default/vantor-bridge";

enum class PortMode : std::uint8_t { Send, Receive };
// How a send-mode Art-Net port merges two sources: highest level of each slot, or the latest packet.
enum class MergeMode : std::uint8_t { Htp, Ltp };

// One [port N] section: a widget and what the node does with it.
struct PortConfig {
    int number = 0;  // N, 1 to 16
    // A /dev/serial/by-id name (with or without its folder), a USB serial number, or a device path.
    std::string device;
    // The old settings' way of naming a widget: the nth of the system's serial devices in their stable order
    // (ttyUSB*, then ttyACM*, then the rest). Set only for settings read from the old file without a device.
    std::optional<int> numberedDevice;
    PortMode mode = PortMode::Send;
    BridgeProtocol protocol = BridgeProtocol::ArtNet;
    // Art-Net: the 15-bit Port-Address (0 to 32767). sACN: 1 to 63999.
    int universe = 0;
    int priority = 100;                // sACN, 0 to 200
    int ttl = 1;                       // sACN multicast, 1 to 255
    std::string name;                  // empty: "port N"
    std::string longName;              // `long_name`; empty: the node's name and the port's label
    MergeMode merge = MergeMode::Htp;  // `merge = htp | ltp`
    bool operator==(const PortConfig&) const = default;

    // The name the journal and the status table use.
    std::string Label() const { return name.empty() ? "port " + std::to_string(number) : name; }
};

// As the file writes them.
inline const char* ModeText(PortMode mode) {
    return mode == PortMode::Send ? "send" : "receive";
}
inline const char* ProtocolText(BridgeProtocol protocol) {
    return protocol == BridgeProtocol::Sacn ? "sacn" : "artnet";
}
// As the status and the journal write it.
inline const char* MergeText(MergeMode merge) {
    return merge == MergeMode::Ltp ? "LTP" : "HTP";
}
// As the file writes it.
inline const char* MergeKeyText(MergeMode merge) {
    return merge == MergeMode::Ltp ? "ltp" : "htp";
}

inline constexpr int kDefaultWebPort = 8454;

// The [web] section: where the node's page listens and who may change things through it.
struct WebConfig {
    std::string listen = "127.0.0.1";  // an IPv4 address of the machine, or 0.0.0.0 for all
    int port = kDefaultWebPort;
    // "pbkdf2-sha256$ITERATIONS$SALT$HASH" (salt and hash in base64), as `vantor-bridge --hash-password`
    // writes it; empty: none.
    std::string password;
    bool readNeedsPassword = false;  // `read = password`: the status too is behind the password
    bool operator==(const WebConfig&) const = default;
};

// The [node] section and the ports, sorted by number.
struct NodeConfig {
    std::string interface;  // an interface name or one of the machine's IPv4 addresses
    std::string name;       // empty: the host name
    std::vector<PortConfig> ports;
    WebConfig web;
    // `poll_replies = broadcast`: replies go to the directed broadcast, for controllers older than Art-Net 4;
    // else to the poller.
    bool pollRepliesBroadcast = false;
    // `remote_config = off`: consoles' ArtAddress changes nothing (it comes unauthenticated).
    bool remoteConfig = true;
    bool operator==(const NodeConfig&) const = default;
};

struct ConfigError {
    std::string file;
    int line = 0;  // 0: the file as a whole
    std::string reason;
    // "FILE:LINE: reason", or "FILE: reason"
    std::string Text() const;
};

struct ParsedConfig {
    NodeConfig config;
    std::vector<ConfigError> errors;  // empty when the file was taken
    // Not errors: what a reader should know (an old setting that has no place any more).
    std::vector<std::string> notes;
    bool Ok() const { return errors.empty(); }
};

// The node's own INI file: text as read, fileName for the errors.
ParsedConfig ParseNodeConfig(std::string_view text, const std::string& fileName);
// The old single-widget bridge's shell-style settings (INTERFACE=, DEVICES=, PORT=, MODE=, PROTOCOL=,
// UNIVERSE=, PRIORITY=, OPTIONS=) as a node of one port.
ParsedConfig ParseLegacyDefaults(std::string_view text, const std::string& fileName);
