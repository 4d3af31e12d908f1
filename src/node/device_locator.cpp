#include "node/device_locator.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "node/device_identity.h"
#include "widget/serial_port_map.h"

namespace fs = std::filesystem;

std::vector<std::string> SystemSerialDevices() {
    std::vector<std::string> devices;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/dev", error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("ttyUSB") || name.starts_with("ttyACM"))
            devices.push_back(entry.path().string());
    }
    std::vector<std::string> ordered = SerialPortPaths(std::nullopt, devices);
    std::erase(ordered, std::string());
    return ordered;
}

namespace {

bool Exists(const fs::path& path) {
    std::error_code error;
    return fs::exists(path, error);
}

// by-id names end in the serial number, then the interface: usb-Maker_Product_SERIAL-if00-port0.
bool NameCarriesSerial(const std::string& name, const std::string& serial) {
    const auto at = name.find("_" + serial + "-");
    return at != std::string::npos;
}

}  // namespace

std::string LocateDevice(const PortConfig& port) {
    if (port.numberedDevice) {
        const std::vector<std::string> devices = SystemSerialDevices();
        const auto index = static_cast<std::size_t>(*port.numberedDevice - 1);
        return index < devices.size() ? devices[index] : std::string();
    }
    const std::string& device = port.device;
    if (device.empty()) return {};
    if (device.front() == '/') return Exists(device) ? device : std::string();
    const fs::path byId = fs::path(ByIdFolder()) / device;
    if (device.find('/') == std::string::npos && Exists(byId)) return byId.string();
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(ByIdFolder(), error))
        if (NameCarriesSerial(entry.path().filename().string(), device) && Exists(entry.path()))
            return entry.path().string();
    for (const std::string& path : SystemSerialDevices()) {
        const Identities names = DeviceIdentities(path);
        const bool match = std::any_of(names.begin(), names.end(), [&](const std::string& name) {
            return name.starts_with("usb:") && name.ends_with(":" + device);
        });
        if (match) return path;
    }
    return {};
}
