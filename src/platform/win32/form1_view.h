#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/control_views.h"
#include "platform/win32/message_window.h"
#include "platform/win32/monitor_view.h"
#include "platform/win32/visual_styles.h"
#include "window/form1.h"

// The window as a person sees it on Windows: the top-level window sized to Form1's twip layout at the
// window's DPI, a native child window for each control object (version 6 controls, in the system's visual
// styles), and one painted monitor for the channel labels, in the window's font and colours. The window hands
// what its children report to their views, takes the dialog keys, and lays itself out again when it moves to
// a monitor of another DPI.
class Form1View {
public:
    static constexpr const char* kTitle = "Vantor DMX Output";
    static constexpr const wchar_t* kFontFace = L"Verdana";
    // Points times 100.
    static constexpr int kFontCentipoints = 825;

    // Twips to pixels at the given dots per inch (1,440 twips an inch).
    static int TwipsToPixels(int twips, int dpi);

    Form1View(Form1& form, MessageWindow& window);
    Form1View(const Form1View&) = delete;
    Form1View& operator=(const Form1View&) = delete;
    ~Form1View();

    // The child window that shows a control, by the control's name ("Label8" for the monitor; nullptr for
    // timers and unknown names).
    HWND ViewOf(const std::string& controlName) const;
    const MonitorView& Monitor() const { return *monitor_; }
    int Dpi() const { return dpi_; }

private:
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    ControlView* ViewOfChild(LPARAM child) const;
    // A control's place in the window's client area, in pixels: its twips plus its container's.
    RECT PixelRect(const Control& control) const;
    // Every child at its place and in its font at the current DPI.
    void Lay();
    void ChangeDpi(int dpi, const RECT& suggested);

    Form1& form_;
    MessageWindow& window_;
    VisualStyles styles_;
    int dpi_;
    HFONT font_ = nullptr;
    // The control that had the focus when the window was last left, to have it again on return.
    HWND focus_ = nullptr;
    std::vector<std::unique_ptr<ControlView>> views_;
    std::map<HWND, ControlView*> byHandle_;
    std::unique_ptr<MonitorView> monitor_;
};
