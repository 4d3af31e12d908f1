// Placeholder until the plug-in boundary lands.
#include "vantor_out.h"
