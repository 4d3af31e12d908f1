#include "window/form1.h"

// Status display: placeholder until it lands.
void Form1::Timer2_Timer() {}
