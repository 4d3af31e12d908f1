#pragma once

#include "plugin_state.h"

// The one state of this loaded library; its window is the Qt window.
PluginState& ThePlugin();

// Creates the Qt application when the host runs none (offscreen when no person can see a window).
void EnsureQtApplication();
