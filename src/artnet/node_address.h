#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// What start-up makes of the machine's address: the node's address record for poll replies and where every
// datagram goes.
struct NodeAddressPlan {
    std::array<std::uint8_t, 6> NodeAddress{};
    std::string BroadcastAddress;
};

// Throws std::invalid_argument, describing the fault, for text that is not four dotted decimal octets.
std::array<std::uint8_t, 4> ParseDottedAddress(std::string_view text);
std::string DottedAddress(const std::array<std::uint8_t, 4>& octets);

// The 10.x.x.x and 2.x.x.x networks keep their Art-Net broadcast addresses. Any other network gets the
// directed broadcast address of its own subnet: 2.255.255.255 would carry lighting data off the local network
// into a public range where none of its nodes listen. The netmask is read only in that case. Lines for the
// node's log go to `log` as they are decided, so that a plan that then fails has still told why. Throws
// std::invalid_argument when either address cannot be used.
NodeAddressPlan PlanNodeAddress(std::string_view localIp, std::string_view netmask,
                                const std::function<void(const std::string&)>& log);
