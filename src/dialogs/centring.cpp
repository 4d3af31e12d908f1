#include "dialogs/centring.h"

#include <cmath>

int RoundHalfToEven(double value) {
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction > 0.5) return static_cast<int>(below) + 1;
    if (fraction < 0.5) return static_cast<int>(below);
    return std::fmod(below, 2.0) == 0.0 ? static_cast<int>(below) : static_cast<int>(below) + 1;
}

WindowPosition CentreOverOwner(const WindowRect& owner, const WindowRect& dialog) {
    const double x = (owner.Right - owner.Left) / 2.0 + owner.Left - (dialog.Right - dialog.Left) / 2.0;
    const double y = (owner.Bottom - owner.Top) / 2.0 + owner.Top - (dialog.Bottom - dialog.Top) / 2.0;
    return {RoundHalfToEven(x), RoundHalfToEven(y)};
}

WindowPosition CentreOnScreen(const ScreenSize& screen, const WindowRect& dialog) {
    const double x = screen.Width / 2.0 - (dialog.Right - dialog.Left) / 2.0;
    const double y = screen.Height / 2.0 - (dialog.Bottom - dialog.Top) / 2.0;
    return {RoundHalfToEven(x), RoundHalfToEven(y)};
}
