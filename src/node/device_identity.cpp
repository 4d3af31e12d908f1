#include "node/device_identity.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

void AddByIdNames(const fs::path& device, Identities& names) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(ByIdFolder(), error)) {
        std::error_code unresolved;
        if (fs::canonical(entry.path(), unresolved) == device && !unresolved)
            names.push_back("by-id:" + entry.path().filename().string());
    }
}

// The USB device is the nearest parent of the tty's device that carries a serial number.
void AddUsbSerial(const fs::path& device, Identities& names) {
    std::error_code error;
    fs::path node = fs::canonical(fs::path("/sys/class/tty") / device.filename() / "device", error);
    for (int depth = 0; !error && depth < 6 && node.has_relative_path(); ++depth, node = node.parent_path()) {
        if (!fs::exists(node / "serial", error) || !fs::exists(node / "idVendor", error)) continue;
        const std::string serial = FirstLine(node / "serial");
        if (!serial.empty())
            names.push_back("usb:" + FirstLine(node / "idVendor") + ":" + FirstLine(node / "idProduct") +
                            ":" + serial);
        return;
    }
}

}  // namespace

std::string ByIdFolder() {
    const char* folder = std::getenv("VANTOR_SERIAL_BY_ID");
    return folder && *folder ? folder : "/dev/serial/by-id";
}

Identities DeviceIdentities(const std::string& path) {
    std::error_code error;
    const fs::path device = fs::canonical(path, error);
    if (path.empty() || error) return {};
    Identities names;
    AddByIdNames(device, names);
    AddUsbSerial(device, names);
    std::sort(names.begin(), names.end());
    return names;
}

bool SameDevice(const Identities& known, const Identities& seen) {
    return std::any_of(seen.begin(), seen.end(), [&](const std::string& name) {
        return std::binary_search(known.begin(), known.end(), name);
    });
}

Identities Learn(Identities& known, const Identities& seen) {
    Identities added;
    std::set_difference(seen.begin(), seen.end(), known.begin(), known.end(), std::back_inserter(added));
    Identities merged;
    std::merge(known.begin(), known.end(), added.begin(), added.end(), std::back_inserter(merged));
    known = std::move(merged);
    return added;
}

std::string ByIdNameOf(const Identities& names) {
    constexpr std::string_view kByIdPrefix = "by-id:";
    for (const std::string& name : names)
        if (name.starts_with(kByIdPrefix)) return name.substr(kByIdPrefix.size());
    return {};
}

std::string WidgetSerialNumber(const Identities& names) {
    constexpr std::size_t kDigits = 8;
    const std::string name = ByIdNameOf(names);
    const auto end = name.find("-if");
    const auto start = name.rfind('_', end);
    if (end == std::string::npos || start == std::string::npos || end - start - 1 != kDigits) return {};
    const std::string serial = name.substr(start + 1, kDigits);
    const bool digits =
        std::all_of(serial.begin(), serial.end(), [](char c) { return c >= '0' && c <= '9'; });
    return digits ? serial : std::string();
}
