#pragma once

#include "stuff/event_loop.h"

// The one thread's Qt event loop.
class QtEventLoop : public EventLoop {
public:
    void ProcessEvents() override;
    void WaitForEvents(int maxMs) override;
    void Sleep(int ms) override;

    // Runs every event (timers included) for ms milliseconds; for a host without a loop of its own.
    static void RunFor(int ms);
};
