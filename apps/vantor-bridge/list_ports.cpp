#include "list_ports.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "node/device_identity.h"
#include "node/device_locator.h"
#include "node/widget_probe.h"

namespace fs = std::filesystem;

namespace {

struct Candidate {
    std::string path;      // what is opened
    std::string identity;  // what the file names it by
};

// The by-id links first, since they name a widget wherever it is plugged in; then the devices that have none.
std::vector<Candidate> Candidates() {
    std::vector<Candidate> found;
    std::set<std::string> covered;
    std::error_code error;
    std::vector<fs::path> links;
    for (const auto& entry : fs::directory_iterator(ByIdFolder(), error)) links.push_back(entry.path());
    std::sort(links.begin(), links.end());
    for (const fs::path& link : links) {
        std::error_code unresolved;
        const fs::path device = fs::canonical(link, unresolved);
        if (unresolved || !covered.insert(device.string()).second) continue;
        found.push_back({link.string(), link.filename().string()});
    }
    for (const std::string& path : SystemSerialDevices()) {
        std::error_code unresolved;
        const fs::path device = fs::canonical(path, unresolved);
        if (unresolved || covered.count(device.string())) continue;
        found.push_back({path, path});
    }
    return found;
}

}  // namespace

int ListPorts(std::ostream& out) {
    int number = 0;
    for (const Candidate& candidate : Candidates()) {
        const std::optional<WidgetFacts> facts = ProbeWidget(candidate.path);
        if (!facts) continue;
        ++number;
        out << "# " << candidate.path << ": firmware " << facts->firmware;
        if (facts->serialNumber) out << ", serial number " << SerialNumberText(*facts->serialNumber);
        out << "\n[port " << number << "]\ndevice = " << candidate.identity << "\nmode = send\n"
            << "protocol = artnet\nuniverse = " << number - 1 << "\n\n";
    }
    if (number == 0) {
        out << "# no widget answered\n";
        return 1;
    }
    return 0;
}
