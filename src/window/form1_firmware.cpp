#include "window/form1.h"

// Firmware update button: placeholder until it lands.
void Form1::Command4_Click() {}
