#include <filesystem>
#include <set>

#include "node/device_identity.h"
#include "node/device_locator.h"
#include "node/node_port.h"
#include "node/widget_probe.h"

namespace {

std::string Canonical(const std::string& path) {
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::canonical(path, error);
    return error ? path : resolved.string();
}

}  // namespace

bool Node::StartSearch() {
    if (searching_) return false;
    if (search_.joinable()) search_.join();
    // A port's device is its link's alone: a probe would take its answers.
    std::set<std::string> ports;
    for (const auto& [number, port] : ports_)
        if (const std::string path = port->link->DevicePath(); !path.empty()) ports.insert(Canonical(path));
    {
        std::lock_guard lock(foundMutex_);
        found_.clear();
    }
    searching_ = true;
    stopSearch_ = false;
    search_ = std::thread([this, ports = std::move(ports)] {
        for (const std::string& path : SystemSerialDevices()) {
            if (stopSearch_) break;
            if (ports.count(Canonical(path))) continue;
            const std::optional<WidgetFacts> facts = ProbeWidget(path);
            if (!facts) continue;
            FoundWidget found{path, ByIdNameOf(DeviceIdentities(path)),
                              facts->serialNumber ? SerialNumberText(*facts->serialNumber) : "",
                              facts->firmware, 0};
            std::lock_guard lock(foundMutex_);
            found_.push_back(std::move(found));
        }
        searching_ = false;
    });
    return true;
}

void Node::StopSearch() {
    stopSearch_ = true;
    if (search_.joinable()) search_.join();
}

std::vector<FoundWidget> Node::FoundWidgets() const {
    std::vector<FoundWidget> widgets;
    for (const auto& [number, port] : ports_) {
        const WidgetLink& link = *port->link;
        if (link.State() != LinkState::Linked && link.State() != LinkState::Updating) continue;
        widgets.push_back({link.DevicePath(), link.ByIdName(), link.SerialNumber(), link.Firmware(), number});
    }
    std::lock_guard lock(foundMutex_);
    widgets.insert(widgets.end(), found_.begin(), found_.end());
    return widgets;
}
