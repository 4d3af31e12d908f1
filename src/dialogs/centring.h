#pragma once

#include "dialogs/file_dialog_service.h"

struct WindowPosition {
    int X = 0, Y = 0;
    bool operator==(const WindowPosition&) const = default;
};

// The nearest integer; a half goes to the even neighbour.
int RoundHalfToEven(double value);

// Top-left corner that centres the dialog over the owner window.
WindowPosition CentreOverOwner(const WindowRect& owner, const WindowRect& dialog);

// Top-left corner that centres the dialog on the screen.
WindowPosition CentreOnScreen(const ScreenSize& screen, const WindowRect& dialog);
