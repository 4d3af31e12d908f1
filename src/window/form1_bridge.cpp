#include "window/form1.h"

// Bridging modes and Art-Net arrival: placeholder until they land.
void Form1::senddmxbutton_Click() {}
void Form1::Command1_Click() {}
void Form1::ArtUniv_Change() {}
void Form1::ArtSocket_DataArrival(std::size_t bytesTotal) { (void)bytesTotal; }
