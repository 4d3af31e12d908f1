#pragma once

// The Qt side of the Art-Net end-to-end tests: the application object and running its events, beside the
// loopback helpers.

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>
#include <functional>

#include "support/loopback_udp.h"

namespace artnet_loopback {

// The one application object of a test program; the window needs widgets, shown offscreen.
inline void EnsureApplication() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "tests_platform";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
}

// Runs the event loop until done() holds or the time is up; returns done().
inline bool RunEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() >= end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        usleep(1000);
    }
    return true;
}

inline void RunEventsFor(std::chrono::milliseconds span) {
    RunEventsUntil([] { return false; }, span);
}

}  // namespace artnet_loopback
