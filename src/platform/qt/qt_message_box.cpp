#include "platform/qt/qt_message_box.h"

#include <QCoreApplication>
#include <QMessageBox>

#include "platform/qt/headless.h"
#include "platform/qt/logging.h"
#include "stuff/scoped_flag.h"

void QtMessageBox::SetOwner(QWidget* owner) {
    owner_ = owner;
}

void QtMessageBox::Show(const std::string& text) {
    ScopedFlag open(open_);
    lastText_ = text;
    ++shownCount_;
    if (IsHeadless()) {
        qCWarning(lcWidget).noquote() << QString::fromStdString(text);
        if (Observer) Observer(text, nullptr);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), QString::fromStdString(text),
                    QMessageBox::Ok, owner_.data());
    if (!Observer) {
        box.exec();
        return;
    }
    // The same modal box, opened without blocking so that the hook can answer it.
    box.setWindowModality(Qt::ApplicationModal);
    box.show();
    Observer(text, &box);
    while (box.isVisible()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
