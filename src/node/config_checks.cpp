#include "node/config_checks.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <map>

#include "sacn/source_name.h"
#include "stuff/trimmed.h"

void ConfigChecks::Refuse(int line, std::string reason) {
    errors_.push_back({fileName_, line, std::move(reason)});
}

void ConfigChecks::SortByLine() {
    std::stable_sort(errors_.begin(), errors_.end(),
                     [](const ConfigError& a, const ConfigError& b) { return a.line < b.line; });
}

std::optional<int> ConfigChecks::Number(int line, std::string_view what, std::string_view text, int low,
                                        int high) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty()) {
        Refuse(line, std::string(what) + " is empty");
    } else if (error == std::errc::result_out_of_range ||
               (error == std::errc{} && end == text.data() + text.size() && (value < low || value > high))) {
        Refuse(line, std::string(what) + " " + std::string(text) + " is outside " + std::to_string(low) +
                         " to " + std::to_string(high));
    } else if (error != std::errc{} || end != text.data() + text.size()) {
        Refuse(line, std::string(what) + " '" + std::string(text) + "' is not a whole number");
    } else {
        return value;
    }
    return std::nullopt;
}

std::optional<PortMode> ConfigChecks::Mode(int line, std::string_view text) {
    if (text == "send") return PortMode::Send;
    if (text == "receive") return PortMode::Receive;
    Refuse(line, "mode '" + std::string(text) + "' should be send or receive");
    return std::nullopt;
}

std::optional<MergeMode> ConfigChecks::Merge(int line, std::string_view text) {
    if (text == "htp") return MergeMode::Htp;
    if (text == "ltp") return MergeMode::Ltp;
    Refuse(line, "merge '" + std::string(text) + "' should be htp or ltp");
    return std::nullopt;
}

std::optional<BridgeProtocol> ConfigChecks::Protocol(int line, std::string_view text) {
    if (text == "artnet") return BridgeProtocol::ArtNet;
    if (text == "sacn") return BridgeProtocol::Sacn;
    Refuse(line, "protocol '" + std::string(text) + "' should be artnet or sacn");
    return std::nullopt;
}

bool ConfigChecks::Universe(int line, std::optional<std::string_view> text, int artNetHighest,
                            PortConfig& port) {
    const bool sacn = port.protocol == BridgeProtocol::Sacn;
    if (!text) {
        port.universe = sacn ? kLowestSacnUniverse : 0;
        return true;
    }
    std::optional<int> universe;
    if (const auto parts = NetSubUni(*text); parts && !sacn && artNetHighest == kHighestPortAddress) {
        const auto net = Number(line, "net", (*parts)[0], 0, 127);
        const auto sub = Number(line, "sub-net", (*parts)[1], 0, 15);
        const auto uni = Number(line, "universe of net:sub:uni", (*parts)[2], 0, 15);
        if (net && sub && uni) universe = *net << 8 | *sub << 4 | *uni;
    } else {
        universe = sacn ? Number(line, "sACN universe", *text, kLowestSacnUniverse, kHighestSacnUniverse)
                        : Number(line, "Art-Net universe", *text, 0, artNetHighest);
    }
    if (universe) port.universe = *universe;
    return universe.has_value();
}

std::optional<std::string> ConfigChecks::Name(int line, std::string_view text) {
    if (text.size() > kLongestName) {
        Refuse(line,
               "name '" + std::string(text) + "' is longer than " + std::to_string(kLongestName) + " bytes");
        return std::nullopt;
    }
    // The network side cleans every name it shows the same way; a name it would change is refused here.
    std::array<std::uint8_t, kSacnSourceNameBytes> bytes{};
    std::copy(text.begin(), text.end(), bytes.begin());
    std::array<char, kSacnSourceNameBytes> clean{};
    CleanSourceName(bytes, clean);
    if (std::string_view(clean.data()) != text) {
        Refuse(line, "name '" + std::string(clean.data()) + "' holds a control character or is not UTF-8");
        return std::nullopt;
    }
    return std::string(text);
}

bool ConfigChecks::Ipv4Address(int line, std::string_view text) {
    std::string_view rest = text;
    bool good = true;
    for (int part = 0; part < 4 && good; ++part) {
        int value = -1;
        const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
        const std::size_t digits = static_cast<std::size_t>(end - rest.data());
        good = error == std::errc{} && digits >= 1 && digits <= 3 && value <= 255 &&
               std::all_of(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(digits),
                           [](char c) { return c >= '0' && c <= '9'; });
        rest.remove_prefix(std::min(digits, rest.size()));
        if (good && part < 3) {
            good = rest.starts_with('.');
            rest.remove_prefix(good ? 1 : 0);
        }
    }
    if (good && rest.empty()) return true;
    Refuse(line, "listen '" + std::string(text) + "' is no IPv4 address (such as 127.0.0.1 or 0.0.0.0)");
    return false;
}

namespace {

bool IsBase64(std::string_view text) {
    const auto padding = text.find('=');
    const std::string_view body = text.substr(0, padding);
    const std::string_view tail = padding == std::string_view::npos ? "" : text.substr(padding);
    return !body.empty() && tail.size() <= 2 && tail.find_first_not_of('=') == std::string_view::npos &&
           std::all_of(body.begin(), body.end(), [](char c) {
               return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '+' || c == '/';
           });
}

}  // namespace

bool ConfigChecks::PasswordHash(int line, std::string_view text) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const auto end = text.find('$', start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    int iterations = 0;
    const bool counted =
        parts.size() == 4 &&
        std::from_chars(parts[1].data(), parts[1].data() + parts[1].size(), iterations).ptr ==
            parts[1].data() + parts[1].size() &&
        !parts[1].empty() && iterations >= kLowestHashIterations;
    if (parts.size() == 4 && parts[0] == "pbkdf2-sha256" && counted && IsBase64(parts[2]) &&
        IsBase64(parts[3]))
        return true;
    Refuse(line, "password is not pbkdf2-sha256$ITERATIONS$SALT$HASH (at least " +
                     std::to_string(kLowestHashIterations) +
                     " iterations, salt and hash in base64): take the line `vantor-bridge --hash-password` "
                     "prints");
    return false;
}

std::vector<std::pair<const PortConfig*, const PortConfig*>> UniversesSentTwice(
    const std::vector<const PortConfig*>& ports) {
    std::vector<std::pair<const PortConfig*, const PortConfig*>> twice;
    std::map<std::pair<BridgeProtocol, int>, const PortConfig*> sent;
    for (const PortConfig* port : ports) {
        if (port->mode != PortMode::Receive) continue;
        if (const auto [first, added] = sent.emplace(std::pair(port->protocol, port->universe), port); !added)
            twice.emplace_back(port, first->second);
    }
    return twice;
}

std::string SentTwiceText(const PortConfig& port, const PortConfig& first) {
    return "port " + std::to_string(port.number) + " sends the same " +
           (port.protocol == BridgeProtocol::Sacn ? "sACN" : "Art-Net") + " universe " +
           std::to_string(port.universe) + " as port " + std::to_string(first.number);
}

std::optional<std::array<std::string_view, 3>> NetSubUni(std::string_view text) {
    std::array<std::string_view, 3> parts;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const auto colon = text.find(':');
        if ((colon == std::string_view::npos) != (i + 1 == parts.size())) return std::nullopt;
        parts[i] = Trimmed(text.substr(0, colon));
        text = colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
    }
    return parts;
}

std::string NetSubUniText(int portAddress) {
    return std::to_string(portAddress >> 8) + ":" + std::to_string(portAddress >> 4 & 0x0F) + ":" +
           std::to_string(portAddress & 0x0F);
}

std::string_view WithoutComment(std::string_view text) {
    for (std::size_t at = 0; at < text.size(); ++at)
        if (text[at] == '#' && (at == 0 || text[at - 1] == ' ' || text[at - 1] == '\t'))
            return text.substr(0, at);
    return text;
}

void ForEachLine(std::string_view text, const std::function<void(int, std::string_view)>& take) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    int line = 1;
    for (std::size_t start = 0; start < text.size(); ++line) {
        const auto end = std::min(text.find('\n', start), text.size());
        take(line, text.substr(start, end - start));
        start = end + 1;
    }
}
