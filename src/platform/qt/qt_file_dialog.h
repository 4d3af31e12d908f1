#pragma once

#include <functional>

#include "dialogs/common_dialog.h"

class QFileDialog;
class QWidget;

// The system's open-file dialog on Qt: Qt's own QFileDialog (not the desktop's), owned by the control window.
// Where no person can answer (headless) and no answer is set, the dialog is not shown and counts as
// cancelled.
class QtFileDialogService : public FileDialogService {
public:
    // Stands in for the person at the dialog: called with the dialog once it shows; it chooses (selectFile,
    // accept) or cancels (reject). The dialog then runs even where no person could answer it.
    using Answer = std::function<void(QFileDialog& dialog)>;

    void SetOwner(QWidget* owner) { owner_ = owner; }
    void SetAnswer(Answer answer) { answer_ = std::move(answer); }

    WindowHandle OwnerWindow() const override;
    OpenFileNameReply GetOpenFileName(const OpenFileNameRecord& record,
                                      const ActivationHook& activating) override;
    WindowRect GetWindowRect(WindowHandle window) const override;
    void MoveWindow(WindowHandle window, int x, int y) override;
    ScreenSize GetScreenSize() const override;

private:
    QWidget* owner_ = nullptr;
    Answer answer_;
};
