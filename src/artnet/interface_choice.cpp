#include "artnet/interface_choice.h"

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
