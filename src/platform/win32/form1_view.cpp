#include "platform/win32/form1_view.h"

#include <algorithm>
#include <set>

namespace {

constexpr int kTwipsPerInch = 1440;
constexpr int kMarginTwips = 120;
constexpr int kFirstChildId = 100;

int ScreenDpi() {
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

HFONT WindowFont(int dpi) {
    return CreateFontW(-MulDiv(Form1View::kFontCentipoints, dpi, 72 * 100), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                       FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, Form1View::kFontFace);
}

}  // namespace

int Form1View::TwipsToPixels(int twips, int dpi) {
    return MulDiv(twips, dpi, kTwipsPerInch);
}

Form1View::Form1View(Form1& form, MessageWindow& window)
    : form_(form), window_(window), dpi_(ScreenDpi()), font_(WindowFont(dpi_)) {
    const INITCOMMONCONTROLSEX common{sizeof common, ICC_BAR_CLASSES};
    InitCommonControlsEx(&common);

    int right = 0, bottom = 0;
    for (Control* control : form_.AllControls()) {
        if (control->Container) continue;
        right = std::max(right, control->Rect.Left + control->Rect.Width);
        bottom = std::max(bottom, control->Rect.Top + control->Rect.Height);
    }
    RECT frame{0, 0, TwipsToPixels(right + kMarginTwips, dpi_), TwipsToPixels(bottom, dpi_)};
    AdjustWindowRectEx(&frame, MessageWindow::kStyle, FALSE, 0);
    SetWindowPos(window.Handle(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    std::vector<RECT> cells;
    std::set<const Control*> monitored;
    for (const auto& label : form_.Label8) {
        cells.push_back(PixelRect(*label));
        monitored.insert(label.get());
    }
    int id = kFirstChildId;
    for (Control* control : form_.AllControls()) {
        ++id;
        if (monitored.count(control)) continue;  // the monitor paints these
        if (auto view = MakeControlView(*control, window.Handle(), PixelRect(*control), id)) {
            SendMessageW(view->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
            byHandle_[view->Handle()] = view.get();
            views_.push_back(std::move(view));
        }
    }
    monitor_ = std::make_unique<MonitorView>(form_.Label8, cells, window.Handle(), kFirstChildId);
    SendMessageW(monitor_->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    // A group box lies under the controls placed over it.
    for (const auto& view : views_)
        if (dynamic_cast<const GroupBox*>(&view->Object()))
            SetWindowPos(view->Handle(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    // The status bar takes its own height along the bottom edge.
    if (HWND status = ViewOf(form_.StatusBar1.Name)) SendMessageW(status, WM_SIZE, 0, 0);

    window_.SetFilter([this](UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
        return Dispatch(message, wParam, lParam, result);
    });
}

Form1View::~Form1View() {
    window_.SetFilter(nullptr);
    monitor_.reset();
    views_.clear();
    DeleteObject(font_);
}

RECT Form1View::PixelRect(const Control& control) const {
    int left = control.Rect.Left, top = control.Rect.Top;
    for (const Control* container = control.Container; container; container = container->Container) {
        left += container->Rect.Left;
        top += container->Rect.Top;
    }
    return RECT{TwipsToPixels(left, dpi_), TwipsToPixels(top, dpi_),
                TwipsToPixels(left + control.Rect.Width, dpi_),
                TwipsToPixels(top + control.Rect.Height, dpi_)};
}

HWND Form1View::ViewOf(const std::string& controlName) const {
    if (controlName == "Label8") return monitor_->Handle();
    for (const auto& view : views_)
        if (view->Object().Name == controlName) return view->Handle();
    return nullptr;
}

ControlView* Form1View::ViewOfChild(LPARAM child) const {
    const auto found = byHandle_.find(reinterpret_cast<HWND>(child));
    return found == byHandle_.end() ? nullptr : found->second;
}

bool Form1View::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    ControlView* view = nullptr;
    switch (message) {
        case WM_COMMAND:
            if (!(view = ViewOfChild(lParam))) return false;
            view->Command(HIWORD(wParam));
            *result = 0;
            return true;
        case WM_HSCROLL:
            if (!(view = ViewOfChild(lParam))) return false;
            view->Scroll(LOWORD(wParam), HIWORD(wParam));
            *result = 0;
            return true;
        case WM_CTLCOLORSTATIC: {
            if (!(view = ViewOfChild(lParam))) return false;
            const HBRUSH brush = view->Colours(reinterpret_cast<HDC>(wParam));
            if (!brush) return false;
            *result = reinterpret_cast<LRESULT>(brush);
            return true;
        }
        default:
            return false;
    }
}
