#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "node/node_config.h"
#include "node/poll_target.h"

// The value checks both settings files share; each refusal lands in the error list with its line, so that a
// reader sees every fault of the file at once.
class ConfigChecks {
public:
    ConfigChecks(std::string fileName, std::vector<ConfigError>& errors)
        : fileName_(std::move(fileName)), errors_(errors) {}

    void Refuse(int line, std::string reason);
    // A whole number from low to high; `what` names it in the reason.
    std::optional<int> Number(int line, std::string_view what, std::string_view text, int low, int high);
    std::optional<PortMode> Mode(int line, std::string_view text);
    std::optional<BridgeProtocol> Protocol(int line, std::string_view text);
    std::optional<MergeMode> Merge(int line, std::string_view text);
    // The port's universe, or the protocol's default when text is absent. Art-Net's highest differs: the old
    // bridge took 0 to 255, the node a whole Port-Address.
    // False when refused.
    bool Universe(int line, std::optional<std::string_view> text, int artNetHighest, PortConfig& port);
    // A node's or port's name as it will go into the 64-byte name fields of either protocol.
    std::optional<std::string> Name(int line, std::string_view text);
    // An IPv4 address in dotted form, four numbers 0 to 255.
    bool Ipv4Address(int line, std::string_view text);
    // A password's hash as `vantor-bridge --hash-password` writes it: pbkdf2-sha256$ITERATIONS$SALT$HASH.
    bool PasswordHash(int line, std::string_view text);
    // The file's errors in its order, those of the file as a whole first.
    void SortByLine();

private:
    std::string fileName_;
    std::vector<ConfigError>& errors_;
};

inline constexpr int kLowestSacnUniverse = 1;
inline constexpr int kHighestSacnUniverse = 63999;
inline constexpr std::size_t kLongestName = 63;
inline constexpr int kHighestPriority = 200;
inline constexpr int kHighestTtl = 255;

inline constexpr int kLowestHashIterations = 1000;

// Two receiving ports of one node may not send the same universe of a protocol: each later one, with the
// first (ports in the order given, those that receive and have a valid universe only).
std::vector<std::pair<const PortConfig*, const PortConfig*>> UniversesSentTwice(
    const std::vector<const PortConfig*>& ports);
// "port 2 sends the same sACN universe 1 as port 1"
std::string SentTwiceText(const PortConfig& port, const PortConfig& first);

// An Art-Net Port-Address written as net:sub:uni, split in its three parts; nullopt for text of another
// shape.
std::optional<std::array<std::string_view, 3>> NetSubUni(std::string_view text);
// The Port-Address as net:sub:uni.
std::string NetSubUniText(int portAddress);

// The value part of a line without its comment: a '#' starts one at the start of a value or after a blank, so
// that "stage#2" stays a name.
std::string_view WithoutComment(std::string_view text);

// Each line of a settings file with its number from 1, a leading byte order mark dropped.
void ForEachLine(std::string_view text, const std::function<void(int, std::string_view)>& take);
