#include "port_listing.h"

#include <iomanip>
#include <stdexcept>
#include <string>

#include "plugin_library.h"

namespace {

constexpr int kPortCount = 16;

std::string Finding(const vantor_port_report& report) {
    if (report.device[0] == '\0') return "no device";
    if (!report.opened) return "cannot be opened";
    if (!report.answered) return "no widget answered";
    return "widget, firmware " + std::to_string(report.firmware_msb) + "." +
           std::to_string(report.firmware_lsb);
}

}  // namespace

void ListPorts(const PluginLibrary& api, std::ostream& out) {
    out << "port  device                          scan\n";
    for (int port = 1; port <= kPortCount; ++port) {
        vantor_port_report report{};
        if (api.get_port_report(port, &report) != VANTOR_S_OK)
            throw std::runtime_error("port " + std::to_string(port) + ": " + api.last_error());
        const std::string device = report.device[0] ? report.device : "-";
        out << std::setw(4) << port << "  " << std::left << std::setw(32) << device << std::right
            << Finding(report) << "\n";
    }
}
