#pragma once

#include <memory>
#include <vector>

#include "platform/win32/message_window.h"
#include "window/form1.h"

// The window as a person sees it on Windows: the top-level window sized to Form1's twip layout at the
// screen's DPI, and a native view for each control object that has one. A view is a child window that
// follows its object through the object's Changed hook and raises the object's event on a user's action;
// MakeView decides which controls have one. None has a native view yet, so the window shows empty.
class Form1View {
public:
    static constexpr const char* kTitle = "Vantor DMX Output";

    // Twips to pixels at the given dots per inch (1,440 twips an inch).
    static int TwipsToPixels(int twips, int dpi);

    Form1View(Form1& form, MessageWindow& window);
    Form1View(const Form1View&) = delete;
    Form1View& operator=(const Form1View&) = delete;
    ~Form1View();

private:
    // A control's native view: its child window, and the hook it set on the control, cleared when it goes.
    struct ControlView {
        Control* control = nullptr;
        HWND handle = nullptr;
    };
    std::unique_ptr<ControlView> MakeView(Control& control, HWND parent, int dpi);

    Form1& form_;
    std::vector<std::unique_ptr<ControlView>> views_;
};
