#pragma once

#include <string>
#include <vector>

#include "node/node_config.h"

// The widget devices of this machine: /dev/ttyUSB* and /dev/ttyACM*, in the plug-in's stable order.
std::vector<std::string> SystemSerialDevices();

// Where the port's widget is now: the path to open, or empty while it is not there. Only the device the
// port's setting names is ever returned, so a widget the file does not list is never opened. A setting that
// starts with '/' is a path; otherwise a by-id name, or else a USB serial number, looked for among the by-id
// links and the USB devices behind the serial devices.
std::string LocateDevice(const PortConfig& port);
