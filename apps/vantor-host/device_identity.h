#pragma once

#include <string>

// What names a serial device across an unplug, whatever path and number it comes back under: its
// /dev/serial/by-id/ name, else the USB vendor, product and serial number behind it. "" for a device with
// neither (a pseudo-terminal, a plain ttyS), which only its path names. Reads the file system only: the
// device is never opened. VANTOR_SERIAL_BY_ID names another folder of by-id links (for tests).
std::string StableIdentity(const std::string& path);
