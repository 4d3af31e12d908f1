#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/control_views.h"
#include "platform/win32/message_window.h"
#include "platform/win32/monitor_view.h"
#include "window/form1.h"

// The window as a person sees it on Windows: the top-level window sized to Form1's twip layout at the
// screen's DPI, a native child window for each control object, and one painted monitor for the channel
// labels, in the window's font and colours. The window hands what its children report to their views.
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

    Form1& form_;
    MessageWindow& window_;
    int dpi_;
    HFONT font_ = nullptr;
    std::vector<std::unique_ptr<ControlView>> views_;
    std::map<HWND, ControlView*> byHandle_;
    std::unique_ptr<MonitorView> monitor_;
};
