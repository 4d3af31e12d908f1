#include "artnet/interface_choice.h"

#include "stuff/socket_error.h"
#include "stuff/trimmed.h"

std::optional<InterfaceAddress> ChooseInterfaceAddress(const std::vector<InterfaceAddress>& addresses,
                                                       const std::optional<std::string>& wanted) {
    if (wanted) {
        for (const auto& address : addresses)
            if (address.interfaceName == *wanted) return address;
        for (const auto& address : addresses)
            if (address.ip == *wanted) return address;
        return std::nullopt;
    }
    for (const auto& address : addresses)
        if (address.up && address.running && !address.loopback) return address;
    return std::nullopt;
}

InterfaceChoice ChooseInterface(const std::vector<InterfaceAddress>& addresses,
                                const std::optional<std::string>& variable) {
    std::optional<std::string> wanted;
    if (variable) wanted = std::string(Trimmed(*variable));
    const auto chosen = ChooseInterfaceAddress(addresses, wanted);
    if (!chosen) {
        if (wanted) throw SocketError("No IPv4 address on interface " + *wanted);
        throw SocketError("No IPv4 address on any interface that is up");
    }
    return {*chosen, wanted.has_value()};
}
