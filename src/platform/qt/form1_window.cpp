#include "platform/qt/form1_window.h"

#include <QLocale>
#include <QSysInfo>

#include "artnet/artnet.h"
#include "platform/qt/headless.h"
#include "platform/qt/library_path.h"
#include "platform/qt/logging.h"

Form1Window::Form1Window(bool withView) {
    // A node that did not start leaves the bridge deaf and dumb: that is never hidden behind a logging rule.
    auto artNetLog = [](const std::string& line) {
        if (line.starts_with(kArtNetInitErrorPrefix))
            qCWarning(lcArtNet).noquote() << QString::fromStdString(line);
        else
            qCDebug(lcArtNet).noquote() << QString::fromStdString(line);
    };
    auto widgetLog = [](const std::string& line) {
        qCInfo(lcWidget).noquote() << QString::fromStdString(line);
    };
    if (const auto state = BridgeStateDirectory(ProcessEnvironment))
        cids_ = std::make_unique<CidFileStore>(*state);
    auto sacnLog = [](bool warning, const std::string& line) {
        if (warning)
            qCWarning(lcSacn).noquote() << QString::fromStdString(line);
        else
            qCInfo(lcSacn).noquote() << QString::fromStdString(line);
    };
    WindowServices services{
        serial_,
        socket_,
        messages_,
        events_,
        &fileDialog_,
        artNetLog,
        OwnLibraryFolder(),
        QLocale().decimalPoint().toStdString(),
        widgetLog,
        &sacnSocket_,
        SacnSendServices{cids_.get(), QSysInfo::machineHostName().toStdString() + " Vantor DMX bridge",
                         sacnLog}};
    form_ = std::make_unique<Form1>(std::move(services));
    for (Timer* timer : form_->AllTimers()) timers_.Bind(*timer);
    if (!withView) return;
    view_ = std::make_unique<Form1View>(*form_);
    messages_.SetOwner(view_.get());
    fileDialog_.SetOwner(view_.get());
}

Form1Window::~Form1Window() {
    view_.reset();
}

void Form1Window::Load() {
    if (loaded_) return;
    loaded_ = true;
    form_->Form_Load();
}

void Form1Window::Show() {
    if (!view_) return;
    view_->show();
    // Raising means nothing where no one sees the window (and the offscreen platform complains).
    if (!IsHeadless()) view_->raise();
}
