#pragma once

#include <ostream>

struct PluginLibrary;

// Ports 1 to 16 as the window's start-up scan found them: the device path each number names, and whether a
// widget answered the parameters request, with its firmware version.
void ListPorts(const PluginLibrary& api, std::ostream& out);
