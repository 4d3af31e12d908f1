#include "window/form1.h"

// Channel monitor: placeholder until it lands.
void Form1::Timer3_Timer() {}
void Form1::Timer4_Timer() {}
