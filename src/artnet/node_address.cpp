#include "artnet/node_address.h"

#include <charconv>
#include <stdexcept>

#include "artnet/artnet_packets.h"

std::array<std::uint8_t, 4> ParseDottedAddress(std::string_view text) {
    std::array<std::uint8_t, 4> octets{};
    std::string_view rest = text;
    for (std::size_t index = 0; index < octets.size(); ++index) {
        const std::size_t dot = rest.find('.');
        const bool last = index + 1 == octets.size();
        if (last != (dot == std::string_view::npos))
            throw std::invalid_argument("not an IPv4 address: \"" + std::string(text) + "\"");
        const std::string_view part = last ? rest : rest.substr(0, dot);
        unsigned value = 256;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || part.size() > 3 || error != std::errc() || end != part.data() + part.size() ||
            value > 255)
            throw std::invalid_argument("not an IPv4 address: \"" + std::string(text) + "\"");
        octets[index] = static_cast<std::uint8_t>(value);
        if (!last) rest.remove_prefix(dot + 1);
    }
    return octets;
}

std::string DottedAddress(const std::array<std::uint8_t, 4>& octets) {
    return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." + std::to_string(octets[2]) +
           "." + std::to_string(octets[3]);
}

NodeAddressPlan PlanNodeAddress(std::string_view localIp, std::string_view netmask,
                                const std::function<void(const std::string&)>& log) {
    if (localIp.empty()) throw std::invalid_argument("no local IPv4 address");
    const std::array<std::uint8_t, 4> address = ParseDottedAddress(localIp);

    NodeAddressPlan plan;
    for (std::size_t index = 0; index < address.size(); ++index) plan.NodeAddress[index] = address[index];
    plan.NodeAddress[4] = static_cast<std::uint8_t>(kArtNetPort & 0xFF);
    plan.NodeAddress[5] = static_cast<std::uint8_t>(kArtNetPort >> 8);

    // The first part is compared as text: "010" and "100" are not the Art-Net networks.
    const std::string_view first = localIp.substr(0, localIp.find('.'));
    if (first == "10") {
        plan.BroadcastAddress = "10.255.255.255";
        log("Art-Net 10.x.x.x BCAST: " + plan.BroadcastAddress);
    } else if (first == "2") {
        plan.BroadcastAddress = "2.255.255.255";
        log("Art-Net 2.x.x.x BCAST: " + plan.BroadcastAddress);
    } else {
        log("Network not configured for Art-Net");
        log("Please set IP address to 10.x.x.x or 2.x.x.x!!!!");
        if (netmask.empty()) throw std::invalid_argument("no netmask for " + std::string(localIp));
        const std::array<std::uint8_t, 4> mask = ParseDottedAddress(netmask);
        std::array<std::uint8_t, 4> broadcast{};
        for (std::size_t index = 0; index < broadcast.size(); ++index)
            broadcast[index] = static_cast<std::uint8_t>(address[index] | ~mask[index]);
        plan.BroadcastAddress = DottedAddress(broadcast);
    }
    return plan;
}
