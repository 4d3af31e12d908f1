#pragma once

#include "dialogs/common_dialog.h"

class QWidget;

// The open-file dialog on Qt: placeholder until it lands.
class QtFileDialogService : public FileDialogService {
public:
    void SetOwner(QWidget* owner) { owner_ = owner; }

private:
    QWidget* owner_ = nullptr;
};
