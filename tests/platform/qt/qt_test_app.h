#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>

// The one application object of the test program (offscreen: tests run without a display).
inline void EnsureQtApplication() {
    if (QCoreApplication::instance()) return;
    static int argc = 3;
    static char name[] = "tests_platform", option[] = "-platform", platform[] = "offscreen";
    static char* argv[] = {name, option, platform, nullptr};
    new QApplication(argc, argv);  // lives until the process ends, as the plug-in's does
}

// Runs Qt's events until done() holds or the time is up; returns done().
inline bool RunEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < until) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

inline void RunEventsFor(std::chrono::milliseconds span) {
    RunEventsUntil([] { return false; }, span);
}
