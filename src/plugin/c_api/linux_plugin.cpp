#include "linux_plugin.h"

#include <QApplication>
#include <array>
#include <stdexcept>
#include <string>

#include "platform/qt/form1_view.h"
#include "platform/qt/form1_window.h"
#include "platform/qt/headless.h"

void EnsureQtApplication() {
    if (QCoreApplication* existing = QCoreApplication::instance()) {
        if (!qobject_cast<QApplication*>(existing))
            throw std::runtime_error(
                "The host runs a Qt application without widgets; the window needs QApplication");
        return;
    }
    // QApplication keeps references to its arguments for its whole life, and it lives as long as the process.
    static std::array<std::string, 3> args{"vantor.out", "", ""};
    static std::array<char*, 4> argv{};
    static int argc = 1;
    const bool noPerson = qEnvironmentVariable("VANTOR_HEADLESS") == QLatin1String("1") || !HasDisplay();
    if (noPerson && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        args[1] = "-platform";
        args[2] = "offscreen";
        argc = 3;
    }
    for (int index = 0; index < argc; ++index)
        argv[static_cast<std::size_t>(index)] = args[static_cast<std::size_t>(index)].data();
    argv[static_cast<std::size_t>(argc)] = nullptr;
    new QApplication(argc, argv.data());
    QApplication::setApplicationName(QString::fromLatin1(Form1View::kTitle));
    // The window has no closing handler: closing it must not end the host's loop.
    QApplication::setQuitOnLastWindowClosed(false);
}

PluginState& ThePlugin() {
    // Never destroyed: nothing is torn down while the library is loaded, and Qt objects must not outlive Qt's
    // own state at process exit.
    static PluginState* const state = new PluginState([]() -> std::unique_ptr<ControlWindow> {
        EnsureQtApplication();
        return std::make_unique<Form1Window>();
    });
    return *state;
}

Form1Window& QtWindow() {
    return static_cast<Form1Window&>(ThePlugin().Window());
}
