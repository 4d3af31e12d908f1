#pragma once

#include "plugin_state.h"

class Form1Window;

// The one state of this loaded library; its window is the Qt window.
PluginState& ThePlugin();
// That window, with its Qt services (created and loaded on first use).
Form1Window& QtWindow();

// Creates the Qt application when the host runs none (without a GUI when no person can see a window).
void EnsureQtApplication();
