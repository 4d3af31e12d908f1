#pragma once

#include <functional>

#include "dialogs/file_dialog_service.h"
#include "platform/win32/message_window.h"

// What the dialog wrote into its file buffer, name offset and file title buffer, as the reply: the buffer
// holds one path and a NUL, or, for several files, the directory, a NUL, each name and a NUL, and one more
// NUL (a NUL just before the name offset tells which). The reply keeps that form in UTF-8, with the offset
// counted in UTF-8 bytes; a buffer without its closing NULs is no choice.
OpenFileNameReply ReplyFromBuffers(const std::wstring& file, WORD offset, const std::wstring& title);

// The system's open-file dialog on Windows: GetOpenFileNameW over the dialog record's buffers, owned by the
// control window, with a one-shot WH_CBT hook on the window's thread that hands the dialog to the centring
// as it is about to be activated. Where no person can answer (headless) and no answer is set, the dialog is
// not shown and counts as cancelled.
class Win32FileDialogService : public FileDialogService {
public:
    // Stands in for the person at the dialog: called with the dialog once it has been centred, from the
    // dialog's own message loop; it chooses (types a name, presses OK) or cancels. The dialog then runs even
    // where no person could answer it.
    using Answer = std::function<void(HWND dialog)>;

    explicit Win32FileDialogService(MessageWindow& window);

    void SetAnswer(Answer answer) { answer_ = std::move(answer); }
    // Where the last dialog stood just after the hook placed it: the system's dialog may still change its
    // size once shown.
    RECT PlacedRect() const { return placed_; }

    WindowHandle OwnerWindow() const override;
    OpenFileNameReply GetOpenFileName(const OpenFileNameRecord& record,
                                      const ActivationHook& activating) override;
    WindowRect GetWindowRect(WindowHandle window) const override;
    void MoveWindow(WindowHandle window, int x, int y) override;
    ScreenSize GetScreenSize() const override;

private:
    static LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam);

    MessageWindow& window_;
    Answer answer_;
    UINT answerMessage_;
    RECT placed_{};
};
