#pragma once

#include <QTimer>
#include <memory>
#include <vector>

#include "window/controls.h"

// Drives the window's timer objects with Qt's precise timers: each follows its object's Interval and Enabled,
// restarts when enabled again while running, and calls Fire on every period (for a timer that ticks on input,
// once an interval after each start).
class TimerEngine {
public:
    TimerEngine() = default;
    TimerEngine(const TimerEngine&) = delete;
    TimerEngine& operator=(const TimerEngine&) = delete;
    ~TimerEngine();

    void Bind(Timer& timer);

private:
    struct Binding {
        Timer* timer = nullptr;
        std::unique_ptr<QTimer> qtimer;
        unsigned starts = 0;
    };
    static void Follow(Binding& binding);

    std::vector<std::unique_ptr<Binding>> bindings_;
};
