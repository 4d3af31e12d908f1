#include "platform/qt/headless.h"

#include <QGuiApplication>

bool IsHeadless() {
    if (qEnvironmentVariable("VANTOR_HEADLESS") == QLatin1String("1")) return true;
    QString platform;
    QCoreApplication* application = QCoreApplication::instance();
    if (qobject_cast<QGuiApplication*>(application))
        platform = QGuiApplication::platformName();
    else if (application)
        return true;  // an application without a GUI shows nothing
    else
        platform = qEnvironmentVariable("QT_QPA_PLATFORM").section(QLatin1Char(':'), 0, 0);
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

bool HasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}
