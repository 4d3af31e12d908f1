#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "dialogs/open_file_name.h"

// A window's outer rectangle in screen pixels.
struct WindowRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const WindowRect&) const = default;
};

struct ScreenSize {
    int Width = 0, Height = 0;
};

// What the system's open-file dialog hands back.
struct OpenFileNameReply {
    // The call's result: false when the user cancelled or the dialog failed.
    bool Chosen = false;
    // What the dialog writes at the front of the file buffer: one path and a NUL; or, for a multiple
    // selection, the directory, a NUL, each name followed by a NUL, and one more NUL.
    std::string File;
    // Characters of File before the (first) file name.
    std::uint16_t FileOffset = 0;
    // The chosen file's name when the reply is a single path; empty for the list form.
    std::string FileTitle;
};

// The system's open-file dialog and the few window operations the centring needs.
class FileDialogService {
public:
    // Called once with the dialog's handle when the dialog is about to be activated, before the user sees it.
    using ActivationHook = std::function<void(WindowHandle dialog)>;

    virtual ~FileDialogService() = default;
    // The window the dialog belongs to (the control window).
    virtual WindowHandle OwnerWindow() const = 0;
    // Shows the dialog for the record's inputs (filter, filter index, initial file, initial folder, title,
    // flags) and waits for the user.
    virtual OpenFileNameReply GetOpenFileName(const OpenFileNameRecord& record,
                                              const ActivationHook& activating) = 0;
    virtual WindowRect GetWindowRect(WindowHandle window) const = 0;
    // Moves the window's top-left corner; size and stacking order stay.
    virtual void MoveWindow(WindowHandle window, int x, int y) = 0;
    virtual ScreenSize GetScreenSize() const = 0;
};
