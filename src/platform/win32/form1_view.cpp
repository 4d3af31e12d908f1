#include "platform/win32/form1_view.h"

#include <algorithm>
#include <set>
#include <utility>

#include "platform/win32/dialog_keys.h"

namespace {

constexpr int kTwipsPerInch = 1440;
constexpr int kMarginTwips = 120;
constexpr int kFirstChildId = 100;

// The window's own DPI, which a per-monitor-aware host gives it from its monitor (Windows 10 and later,
// looked up so that the DLL still loads on older systems); else the screen's.
int WindowDpi(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    const auto forWindow = reinterpret_cast<GetDpiForWindowFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (forWindow)
        if (const int dpi = static_cast<int>(forWindow(window)); dpi > 0) return dpi;
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
    : form_(form), window_(window), dpi_(WindowDpi(window.Handle())), font_(WindowFont(dpi_)) {
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

    std::set<const Control*> monitored;
    for (const auto& label : form_.Label8) monitored.insert(label.get());
    {
        const VisualStyles::Scope styled(styles_);
        // Created in the window's z-order, which is the order of the controls' places top to bottom in each
        // group box, and so the order that Tab follows.
        int id = kFirstChildId;
        for (Control* control : form_.AllControls()) {
            ++id;
            if (monitored.count(control)) continue;  // the monitor paints these
            if (auto view = MakeControlView(*control, window.Handle(), PixelRect(*control), id)) {
                if (GetWindowLongW(view->Handle(), GWL_STYLE) & WS_TABSTOP) TakeDialogKeys(view->Handle());
                byHandle_[view->Handle()] = view.get();
                views_.push_back(std::move(view));
            }
        }
        monitor_ = std::make_unique<MonitorView>(form_.Label8, window.Handle(), kFirstChildId);
    }
    // A group box lies under the controls placed over it.
    for (const auto& view : views_)
        if (dynamic_cast<const GroupBox*>(&view->Object()))
            SetWindowPos(view->Handle(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Lay();

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

void Form1View::Lay() {
    for (const auto& view : views_) {
        const RECT place = PixelRect(view->Object());
        SetWindowPos(view->Handle(), nullptr, place.left, place.top, place.right - place.left,
                     place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(view->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    }
    std::vector<RECT> cells;
    for (const auto& label : form_.Label8) cells.push_back(PixelRect(*label));
    monitor_->Place(cells);
    SendMessageW(monitor_->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    // The status bar takes its own height along the bottom edge.
    if (HWND status = ViewOf(form_.StatusBar1.Name)) SendMessageW(status, WM_SIZE, 0, 0);
}

void Form1View::ChangeDpi(int dpi, const RECT& suggested) {
    dpi_ = dpi;
    const HFONT old = std::exchange(font_, WindowFont(dpi_));
    SetWindowPos(window_.Handle(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    Lay();
    DeleteObject(old);
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
        case WM_DPICHANGED:
            ChangeDpi(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            *result = 0;
            return true;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                const HWND focus = GetFocus();
                if (focus && IsChild(window_.Handle(), focus)) focus_ = focus;
            }
            return false;
        case WM_SETFOCUS: {
            // The window passes the focus on to a control, where the keys have a meaning.
            HWND to =
                focus_ && IsWindow(focus_) ? focus_ : GetNextDlgTabItem(window_.Handle(), nullptr, FALSE);
            if (to) SetFocus(to);
            *result = 0;
            return true;
        }
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
