#include "window/form1.h"

// Port discovery and selection: placeholder until it lands; init and SelectPort already open the link port.

void Form1::ScanPorts() {}
void Form1::Command2_Click() {}
void Form1::Command5_Click() {}
void Form1::DevList_Click() {}

bool Form1::init() {
    if (!MSComm1.PortOpen()) MSComm1.SetPortOpen(true);
    return MSComm1.PortOpen();
}

void Form1::SelectPort(int port) {
    try {
        MSComm1.SetCommPort(port);
    } catch (const SerialError&) {
    }
    try {
        LinkOpen = ToVBool(init());
    } catch (const SerialError&) {
    }
}
