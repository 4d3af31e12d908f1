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

void PluginState::EnsureApplication() {
    if (QCoreApplication* existing = QCoreApplication::instance()) {
        if (!qobject_cast<QApplication*>(existing))
            throw std::runtime_error(
                "The host runs a Qt application without widgets; the window needs QApplication");
        return;
    }
    args_ = {"vantor.out", "", ""};
    argc_ = 1;
    const bool noPerson = qEnvironmentVariable("VANTOR_HEADLESS") == QLatin1String("1") || !HasDisplay();
    if (noPerson && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        args_[1] = "-platform";
        args_[2] = "offscreen";
        argc_ = 3;
    }
    for (int index = 0; index < argc_; ++index)
        argv_[static_cast<std::size_t>(index)] = args_[static_cast<std::size_t>(index)].data();
    argv_[static_cast<std::size_t>(argc_)] = nullptr;
    app_ = std::make_unique<QApplication>(argc_, argv_.data());
    QApplication::setApplicationName(QString::fromLatin1(Form1View::kTitle));
    // The window has no closing handler: closing it must not end the host's loop.
    QApplication::setQuitOnLastWindowClosed(false);
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
