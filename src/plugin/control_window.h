#pragma once

#include "window/form1.h"

// The plug-in's one control window as the driver class reaches it. Each platform builds it with its own
// services and view.
class ControlWindow {
public:
    virtual ~ControlWindow() = default;
    // The load handler, run once before anything else happens on the window.
    virtual void Load() = 0;
    // Shows the window non-modal, without an owner.
    virtual void Show() = 0;
    virtual Form1& Form() = 0;
};
