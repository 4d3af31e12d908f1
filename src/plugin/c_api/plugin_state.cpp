#include "plugin_state.h"

#include <QApplication>
#include <stdexcept>

#include "platform/qt/form1_view.h"
#include "platform/qt/form1_window.h"
#include "platform/qt/headless.h"

PluginState::PluginState() = default;
PluginState::~PluginState() = default;

void PluginState::HoldHostHelper(vantor_host_helper* helper) {
    if (helper && helper->add_ref) helper->add_ref(helper);
    vantor_host_helper* previous = hostHelper_;
    hostHelper_ = helper;
    if (previous && previous->release) previous->release(previous);
}

void PluginState::ReleaseHostHelper() {
    HoldHostHelper(nullptr);
}

void PluginState::UnlockServer() {
    if (serverLocks_ == 0) throw std::logic_error("No server lock is held");
    --serverLocks_;
}

void PluginState::EnsureApplication() {
    if (QCoreApplication* existing = QCoreApplication::instance()) {
        if (existing != app_.get() && !qobject_cast<QApplication*>(existing) && !IsHeadless())
            throw std::runtime_error(
                "The host runs a Qt application without widgets; the window needs QApplication");
        return;
    }
    args_ = {"vantor.out"};
    argc_ = 1;
    argv_ = {args_[0].data(), nullptr};
    // Where no person can see a window, a core application runs the controls: no platform, no fonts, no
    // widgets to load and keep in memory.
    if (IsHeadless() || (!HasDisplay() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))) {
        app_ = std::make_unique<QCoreApplication>(argc_, argv_.data());
    } else {
        app_ = std::make_unique<QApplication>(argc_, argv_.data());
        // The window has no closing handler: closing it must not end the host's loop.
        QApplication::setQuitOnLastWindowClosed(false);
    }
    QCoreApplication::setApplicationName(QString::fromLatin1(Form1View::kTitle));
}

Form1Window& PluginState::Window() {
    if (!window_) {
        EnsureApplication();
        // Where no one can see the window, its controls run without widgets.
        window_ = std::make_unique<Form1Window>(!IsHeadless());
        window_->Load();
    }
    return *window_;
}

PluginState& ThePlugin() {
    // Never destroyed: nothing is torn down while the library is loaded, and Qt objects must not outlive Qt's
    // own state at process exit.
    static PluginState* const state = new PluginState;
    return *state;
}
