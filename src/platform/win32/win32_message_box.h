#pragma once

#include <string>

#include "platform/win32/win32_headers.h"
#include "stuff/message_box.h"

// A message box with one OK button, owned by the control window. Where no person can answer (headless), the
// text goes to the log and Show returns at once.
class Win32MessageBox : public MessageBox {
public:
    void Show(const std::string& text) override;
    bool IsOpen() const override { return open_; }

    void SetOwner(HWND owner) { owner_ = owner; }

private:
    HWND owner_ = nullptr;
    bool open_ = false;
};
