#include "platform/win32/form1_view.h"

#include <algorithm>

namespace {

constexpr int kTwipsPerInch = 1440;
constexpr int kMarginTwips = 120;

int ScreenDpi() {
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

}  // namespace

int Form1View::TwipsToPixels(int twips, int dpi) {
    return MulDiv(twips, dpi, kTwipsPerInch);
}

Form1View::Form1View(Form1& form, MessageWindow& window) : form_(form) {
    const int dpi = ScreenDpi();
    int right = 0, bottom = 0;
    for (Control* control : form_.AllControls()) {
        if (control->Container) continue;
        right = std::max(right, control->Rect.Left + control->Rect.Width);
        bottom = std::max(bottom, control->Rect.Top + control->Rect.Height);
    }
    RECT frame{0, 0, TwipsToPixels(right + kMarginTwips, dpi), TwipsToPixels(bottom, dpi)};
    AdjustWindowRectEx(&frame, MessageWindow::kStyle, FALSE, 0);
    SetWindowPos(window.Handle(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (Control* control : form_.AllControls())
        if (auto view = MakeView(*control, window.Handle(), dpi)) views_.push_back(std::move(view));
}

Form1View::~Form1View() {
    for (const auto& view : views_) {
        view->control->Changed = nullptr;
        DestroyWindow(view->handle);
    }
}

std::unique_ptr<Form1View::ControlView> Form1View::MakeView(Control&, HWND, int) {
    return nullptr;
}
