#include "widget/serial_port_map.h"

#include <algorithm>
#include <cctype>
#include <tuple>

#include "stuff/trimmed.h"

namespace {

std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int Group(const std::string& name) {
    if (name.starts_with("ttyUSB")) return 0;
    if (name.starts_with("ttyACM")) return 1;
    return 2;
}

// The name without its trailing digits, and those digits as a number (-1 when there are none).
std::pair<std::string, long> StemAndNumber(const std::string& name) {
    std::size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
    const std::string tail = name.substr(digits);
    long number = -1;
    if (!tail.empty() && tail.size() < 10) number = std::stol(tail);
    return {name.substr(0, digits), number};
}

}  // namespace

std::vector<std::string> SerialPortPaths(const std::optional<std::string>& configuredList,
                                         std::vector<std::string> systemDevices) {
    std::vector<std::string> paths;
    if (configuredList) {
        std::string item;
        for (char c : *configuredList + ",") {
            if (c == ',') {
                paths.emplace_back(Trimmed(item));
                item.clear();
            } else {
                item += c;
            }
        }
        while (!paths.empty() && paths.back().empty()) paths.pop_back();
        return paths;
    }
    auto key = [](const std::string& path) {
        const std::string name = BaseName(path);
        auto [stem, number] = StemAndNumber(name);
        return std::make_tuple(Group(name), stem, number, name);
    };
    std::sort(systemDevices.begin(), systemDevices.end(),
              [&](const std::string& a, const std::string& b) { return key(a) < key(b); });
    systemDevices.erase(std::unique(systemDevices.begin(), systemDevices.end()), systemDevices.end());
    return systemDevices;
}
