#include "platform/win32/monitor_view.h"

#include <stdexcept>

#include "platform/win32/control_views.h"
#include "platform/win32/own_module.h"
#include "platform/win32/text.h"

namespace {

const wchar_t* const kClassName = L"VantorMonitor";

}  // namespace

MonitorView::MonitorView(std::vector<std::unique_ptr<Label>>& labels, HWND parent, int id)
    : labels_(labels), cells_(labels.size()) {
    RegisterOwnWindowClass(kClassName, &MonitorView::WindowProc, nullptr);
    handle_ = CreateWindowExW(0, kClassName, L"Label8", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0, 0,
                              parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), OwnModule(), this);
    if (!handle_) throw std::runtime_error("Cannot create the monitor: " + SystemErrorText(GetLastError()));
    // A hidden monitor is painted whole when it shows; marking its cells meanwhile would cost each a trip to
    // the window manager (under wine, to its server) for nothing, 132 of them for every frame of new levels.
    for (std::size_t index = 0; index < labels_.size(); ++index)
        labels_[index]->Changed = [this, index] {
            if (IsWindowVisible(handle_)) InvalidateRect(handle_, &cells_[index], FALSE);
        };
}

void MonitorView::Place(const std::vector<RECT>& cells) {
    RECT bounds = cells.front();
    for (const RECT& cell : cells) UnionRect(&bounds, &bounds, &cell);
    cells_ = cells;
    for (RECT& cell : cells_) OffsetRect(&cell, -bounds.left, -bounds.top);
    SetWindowPos(handle_, nullptr, bounds.left, bounds.top, bounds.right - bounds.left,
                 bounds.bottom - bounds.top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(handle_, nullptr, FALSE);
}

MonitorView::~MonitorView() {
    for (auto& label : labels_) label->Changed = nullptr;
    SetWindowLongPtrW(handle_, GWLP_USERDATA, 0);
    DestroyWindow(handle_);
    // Fails while another monitor lives, which is as it should be.
    UnregisterClassW(kClassName, OwnModule());
}

LRESULT CALLBACK MonitorView::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* creating = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creating->lpCreateParams));
    }
    auto* self = reinterpret_cast<MonitorView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_SETFONT:
            self->font_ = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam)) InvalidateRect(window, nullptr, FALSE);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(self->font_);
        case WM_ERASEBKGND:
            return 1;  // every pixel belongs to a cell, painted opaque
        case WM_PAINT: {
            PAINTSTRUCT paint;
            const HDC dc = BeginPaint(window, &paint);
            self->Paint(dc, paint.rcPaint);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_PRINTCLIENT: {
            RECT all;
            GetClientRect(window, &all);
            self->Paint(reinterpret_cast<HDC>(wParam), all);
            return 0;
        }
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

// Cells in index order, so that where two overlap the later one is on top. The text sits at the left,
// centred in the cell's height, where a label puts it.
void MonitorView::Paint(HDC dc, const RECT& area) {
    const HGDIOBJ oldFont = font_ ? SelectObject(dc, font_) : nullptr;
    for (std::size_t index = 0; index < cells_.size(); ++index) {
        const RECT& cell = cells_[index];
        RECT overlap;
        if (!IntersectRect(&overlap, &cell, &area) || !RectVisible(dc, &cell)) continue;
        const Label& label = *labels_[index];
        const std::wstring caption = Widen(label.Caption());
        SetBkColor(dc, ToColorRef(label.BackColor()));
        SetTextColor(dc, ToColorRef(label.ForeColor()));
        ExtTextOutW(dc, cell.left, cell.top, ETO_OPAQUE, &cell, nullptr, 0, nullptr);
        RECT text = cell;
        DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    if (oldFont) SelectObject(dc, oldFont);
}
