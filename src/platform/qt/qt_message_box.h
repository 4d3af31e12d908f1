#pragma once

#include <QPointer>
#include <functional>
#include <string>

#include "stuff/message_box.h"

class QMessageBox;
class QWidget;

// A message box with one OK button. Where no person can answer (headless), the text goes to the log as a
// warning and Show returns at once.
class QtMessageBox : public MessageBox {
public:
    void Show(const std::string& text) override;
    bool IsOpen() const override { return open_; }

    void SetOwner(QWidget* owner);

    // The last text shown and how many have been, for a host's status display.
    const std::string& LastText() const { return lastText_; }
    unsigned ShownCount() const { return shownCount_; }

    // For tests: called with every text shown or logged, while the box is open (an on-screen box is passed so
    // that the hook can press OK). What a user sees does not change.
    std::function<void(const std::string& text, QMessageBox* box)> Observer;

private:
    QPointer<QWidget> owner_;
    bool open_ = false;
    std::string lastText_;
    unsigned shownCount_ = 0;
};
