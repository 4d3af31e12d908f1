#pragma once

#include <string>
#include <vector>

// The names a serial device keeps across an unplug, whatever path and number it comes back under: each
// /dev/serial/by-id/ name that leads to it ("by-id:NAME") and the USB vendor, product and serial number
// behind it ("usb:VID:PID:SERIAL"), sorted. udev makes the by-id link a moment after the device appears, so a
// port opened at once may show only the USB form yet. Empty for a device with neither (a pseudo-terminal, a
// plain ttyS), which only its path names. Reads the file system only: the device is never opened.
// VANTOR_SERIAL_BY_ID names another folder of by-id links (for tests).
using Identities = std::vector<std::string>;
std::string ByIdFolder();
Identities DeviceIdentities(const std::string& path);

// Whether the two share a name: then they are the same device.
bool SameDevice(const Identities& known, const Identities& seen);
// Adds to known the names of seen that it lacks, and returns those.
Identities Learn(Identities& known, const Identities& seen);

// The first by-id name among the names (without "by-id:"), or empty.
std::string ByIdNameOf(const Identities& names);
// The widget's serial number as a by-id name carries it (usb-Maker_Product_SERIAL-if00-port0) when that is
// eight digits, as the widget's own is; empty otherwise (an adapter's USB serial number is no widget's).
std::string WidgetSerialNumber(const Identities& names);
