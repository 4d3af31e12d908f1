#pragma once

// True where no person can answer a window: VANTOR_HEADLESS=1, an application without a GUI, or Qt's
// offscreen or minimal platform (the running application's, else the one QT_QPA_PLATFORM asks for).
bool IsHeadless();

// True when a display server can be reached (X11 or Wayland).
bool HasDisplay();
