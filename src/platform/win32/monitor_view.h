#pragma once

#include <memory>
#include <vector>

#include "platform/win32/win32_headers.h"
#include "window/controls.h"

// The channel monitor's labels painted by one child window: each cell shows its label's caption on its
// background colour, at the label's place, as a label would. A change invalidates only its own cell, so a
// paint redraws the cells that changed (and the neighbours' one-pixel overlap, where the later cell is on
// top, as with the labels).
class MonitorView {
public:
    // Placed by Place.
    MonitorView(std::vector<std::unique_ptr<Label>>& labels, HWND parent, int id);
    MonitorView(const MonitorView&) = delete;
    MonitorView& operator=(const MonitorView&) = delete;
    ~MonitorView();

    HWND Handle() const { return handle_; }
    // cells: each label's rectangle in the parent's client area, in pixels.
    void Place(const std::vector<RECT>& cells);
    // A cell's rectangle in the view's client area.
    const RECT& Cell(std::size_t index) const { return cells_[index]; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint(HDC dc, const RECT& area);

    std::vector<std::unique_ptr<Label>>& labels_;
    std::vector<RECT> cells_;
    HWND handle_ = nullptr;
    HFONT font_ = nullptr;
};
