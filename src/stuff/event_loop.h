#pragma once

#include <chrono>

// The one thread's event loop, as the system's procedures use it.
class EventLoop {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~EventLoop() = default;
    // Runs the pending events once and returns.
    virtual void ProcessEvents() = 0;
    // Sleeps until an event arrives (or maxMs pass), then runs the pending events.
    virtual void WaitForEvents(int maxMs) = 0;
    // A blocking pause: no events run during it.
    virtual void Sleep(int ms) = 0;
    // The time that time-outs measured by the procedures go by (the steady clock; a test may move its own).
    virtual Clock::time_point Now() const { return Clock::now(); }
};
