#pragma once

#include "stuff/event_loop.h"

// The one thread's Windows message loop, as the system's procedures use it.
class Win32EventLoop : public EventLoop {
public:
    void ProcessEvents() override;
    void WaitForEvents(int maxMs) override;
    void Sleep(int ms) override;

    // Runs every message of the thread (timers included) for ms milliseconds; false once WM_QUIT came, which
    // is left in the queue for the thread's own loop.
    static bool RunFor(int ms);
};
