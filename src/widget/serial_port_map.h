#pragma once

#include <optional>
#include <string>
#include <vector>

// Port numbers 1, 2, 3, ... name device paths: entry 0 of the result is port 1. An empty entry leaves that
// number without a device.
//
// With a configured list (the comma-separated VANTOR_SERIAL_PORTS) its items are taken in order. Without one,
// the system's devices are numbered in a stable order: ttyUSB*, then ttyACM*, then the rest, each group
// sorted by its number.
std::vector<std::string> SerialPortPaths(const std::optional<std::string>& configuredList,
                                         std::vector<std::string> systemDevices);
