#include "node/config_checks.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>

#include "sacn/source_name.h"

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
    if (const auto universe =
            sacn ? Number(line, "sACN universe", *text, kLowestSacnUniverse, kHighestSacnUniverse)
                 : Number(line, "Art-Net universe", *text, 0, artNetHighest)) {
        port.universe = *universe;
        return true;
    }
    return false;
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
