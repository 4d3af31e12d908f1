#include "device_identity.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string ByIdName(const fs::path& device) {
    const char* folder = std::getenv("VANTOR_SERIAL_BY_ID");
    std::error_code error;
    for (const auto& entry :
         fs::directory_iterator(folder && *folder ? folder : "/dev/serial/by-id", error)) {
        std::error_code unresolved;
        if (fs::canonical(entry.path(), unresolved) == device && !unresolved)
            return "by-id:" + entry.path().filename().string();
    }
    return {};
}

// The USB device is the nearest parent of the tty's device that carries a serial number.
std::string UsbSerial(const fs::path& device) {
    std::error_code error;
    fs::path node = fs::canonical(fs::path("/sys/class/tty") / device.filename() / "device", error);
    for (int depth = 0; !error && depth < 6 && node.has_relative_path(); ++depth, node = node.parent_path()) {
        if (!fs::exists(node / "serial", error) || !fs::exists(node / "idVendor", error)) continue;
        const std::string serial = FirstLine(node / "serial");
        if (serial.empty()) return {};
        return "usb:" + FirstLine(node / "idVendor") + ":" + FirstLine(node / "idProduct") + ":" + serial;
    }
    return {};
}

}  // namespace

std::string StableIdentity(const std::string& path) {
    std::error_code error;
    const fs::path device = fs::canonical(path, error);
    if (path.empty() || error) return {};
    std::string identity = ByIdName(device);
    return identity.empty() ? UsbSerial(device) : identity;
}
