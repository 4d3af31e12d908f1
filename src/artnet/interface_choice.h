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
    // The system's index of the interface (0 when unknown): what a datagram's arrival names.
    unsigned index = 0;
};

// Names the interface (or one of its addresses) that both the Art-Net and the sACN socket use; vantor-host's
// --interface and the unit's INTERFACE= set it.
inline constexpr const char* kInterfaceVariable = "VANTOR_ARTNET_INTERFACE";

// The address the Art-Net node uses. A wanted name (VANTOR_ARTNET_INTERFACE) picks the first address of the
// interface of that name, or the address equal to it; without one, the first address of the first interface
// that is up, running and not loopback. Nothing found gives nullopt.
std::optional<InterfaceAddress> ChooseInterfaceAddress(const std::vector<InterfaceAddress>& addresses,
                                                       const std::optional<std::string>& wanted);

struct InterfaceChoice {
    InterfaceAddress address;
    // An interface was named: only what arrives on it is taken. Without one the bridge listens on all.
    bool named = false;
};

// The one choice for every socket on every platform. variable: VANTOR_ARTNET_INTERFACE's value, nullopt when
// it is not set; blanks around it are ignored. Nothing fitting is thrown as SocketError with the reason.
InterfaceChoice ChooseInterface(const std::vector<InterfaceAddress>& addresses,
                                const std::optional<std::string>& variable);
