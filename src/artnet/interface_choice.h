#pragma once

#include <optional>
#include <string>
#include <vector>

// One IPv4 address of a network interface, as the machine lists it.
struct InterfaceAddress {
    std::string interfaceName;
    std::string ip;
    std::string netmask;
    bool up = false;
    bool running = false;
    bool loopback = false;
};

// The address the Art-Net node uses. A wanted name (VANTOR_ARTNET_INTERFACE) picks the first address of the
// interface of that name, or the address equal to it; without one, the first address of the first interface
// that is up, running and not loopback. Nothing found gives nullopt.
std::optional<InterfaceAddress> ChooseInterfaceAddress(const std::vector<InterfaceAddress>& addresses,
                                                       const std::optional<std::string>& wanted);
