#include "window/form1.h"

// Firmware update button: placeholder until it lands.
void Form1::Command4_Click() {}
bool Form1::UpdateFirmwareFromFile(const std::string& path) {
    (void)path;
    return false;
}
