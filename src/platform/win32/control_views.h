#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/win32/win32_headers.h"
#include "window/controls.h"

// One native child window per control object, kept in step both ways: the object's Changed hook updates the
// child at once, and what the child reports to the window (a click, a scroll, a selection) raises the
// object's event. The children of a group box are the window's children too, placed over the box, so that
// what they report reaches the window.
class ControlView {
public:
    ControlView(Control& control, HWND handle);
    ControlView(const ControlView&) = delete;
    ControlView& operator=(const ControlView&) = delete;
    // Clears the object's hook before the child goes.
    virtual ~ControlView();

    HWND Handle() const { return handle_; }
    const Control& Object() const { return control_; }

    // A WM_COMMAND notification from the child.
    virtual void Command(WORD) {}
    // A WM_HSCROLL request from the child, with the thumb's position for the thumb's requests.
    virtual void Scroll(WORD, WORD) {}
    // WM_CTLCOLORSTATIC: sets the child's colours in dc and returns its background brush; nullptr for the
    // system's colours.
    virtual HBRUSH Colours(HDC) { return nullptr; }

protected:
    // Makes the child show what the object holds now; called on every change of the object.
    virtual void Follow() = 0;
    void Start();

    Control& control_;
    HWND handle_;
};

// The child windows: created hidden until the window shows, with their object's name as their window text
// until Follow gives them their caption. Each returns nullptr for an object it does not show.
std::unique_ptr<ControlView> MakeControlView(Control& control, HWND parent, const RECT& place, int id);

// A solid brush that goes with its owner.
class SolidBrush {
public:
    SolidBrush() = default;
    SolidBrush(const SolidBrush&) = delete;
    SolidBrush& operator=(const SolidBrush&) = delete;
    ~SolidBrush();
    // The brush of that colour, made anew only when the colour changes.
    HBRUSH Of(Rgb colour);

private:
    HBRUSH brush_ = nullptr;
    Rgb colour_;
};

COLORREF ToColorRef(Rgb colour);
