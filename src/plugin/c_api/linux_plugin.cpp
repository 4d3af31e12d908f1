#include "linux_plugin.h"

#include <QApplication>
#include <array>
#include <stdexcept>
#include <string>

#include "platform/qt/form1_view.h"
#include "platform/qt/form1_window.h"
#include "platform/qt/headless.h"

void EnsureQtApplication() {
    // Lives as long as the process, and keeps references to its arguments for that long.
    static QCoreApplication* ours = nullptr;
    if (QCoreApplication* existing = QCoreApplication::instance()) {
        if (existing != ours && !qobject_cast<QApplication*>(existing) && !IsHeadless())
            throw std::runtime_error(
                "The host runs a Qt application without widgets; the window needs QApplication");
        return;
    }
    static std::array<std::string, 1> args{"vantor.out"};
    static std::array<char*, 2> argv{args[0].data(), nullptr};
    static int argc = 1;
    // Where no person can see a window, a core application runs the controls: no platform, no fonts, no
    // widgets to load and keep in memory.
    if (IsHeadless() || (!HasDisplay() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))) {
        ours = new QCoreApplication(argc, argv.data());
    } else {
        ours = new QApplication(argc, argv.data());
        // The window has no closing handler: closing it must not end the host's loop.
        QApplication::setQuitOnLastWindowClosed(false);
    }
    QCoreApplication::setApplicationName(QString::fromLatin1(Form1View::kTitle));
}

PluginState& ThePlugin() {
    // Never destroyed: nothing is torn down while the library is loaded, and Qt objects must not outlive Qt's
    // own state at process exit.
    static PluginState* const state = new PluginState([]() -> std::unique_ptr<ControlWindow> {
        EnsureQtApplication();
        // Where no one can see the window, its controls run without widgets.
        return std::make_unique<Form1Window>(!IsHeadless());
    });
    return *state;
}

Form1Window& QtWindow() {
    return static_cast<Form1Window&>(ThePlugin().Window());
}
