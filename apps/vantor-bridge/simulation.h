#pragma once

#include <filesystem>
#include <memory>

#include "node/node_config.h"
#include "widget_rack.h"

// Simulated widgets in a by-id folder of their own, for a first try without hardware.
struct Simulation {
    ~Simulation();
    std::filesystem::path folder;
    std::unique_ptr<prowidget::WidgetRack> rack;
};

// N widgets; a file without ports gets one send-mode Art-Net port per widget (port k: universe k - 1), and
// one without an interface gets lo. Throws what the rack throws.
std::unique_ptr<Simulation> Simulate(int count, NodeConfig& config);
