#include "window/form1.h"

// Receive poll: placeholder until it lands.
void Form1::Timer1_Timer() {}
