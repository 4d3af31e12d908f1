#include "window/form1.h"

// Parameters panel: placeholder until it lands.
void Form1::DisplayConfig() {}
void Form1::HScroll1_Change() {}
void Form1::HScroll2_Change() {}
void Form1::HScroll3_Change() {}
void Form1::cfg_request_Click() {}
void Form1::Command3_Click() {}
