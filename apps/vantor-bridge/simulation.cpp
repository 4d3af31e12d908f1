#include "simulation.h"

#include <stdlib.h>

#include <stdexcept>
#include <system_error>

Simulation::~Simulation() {
    rack.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

std::unique_ptr<Simulation> Simulate(int count, NodeConfig& config) {
    auto simulation = std::make_unique<Simulation>();
    std::string pattern = (std::filesystem::temp_directory_path() / "vantor-bridge-sim-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("no folder for the simulated widgets");
    simulation->folder = pattern;
    simulation->rack = std::make_unique<prowidget::WidgetRack>(count, pattern);
    ::setenv("VANTOR_SERIAL_BY_ID", pattern.c_str(), 1);
    if (config.interface.empty()) config.interface = "lo";
    if (config.ports.empty()) {
        for (int k = 1; k <= count; ++k) {
            PortConfig port;
            port.number = k;
            port.device = simulation->rack->ByIdName(k);
            port.universe = k - 1;
            config.ports.push_back(port);
        }
    }
    return simulation;
}
