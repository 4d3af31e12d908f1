#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "platform/win32/message_window.h"
#include "window/controls.h"

// Drives the window's timer objects. SetTimer is too coarse for 2 and 20 ms, so each running timer is a
// multimedia timer whose callback only posts a message; the tick itself runs on the window's thread. At most
// one tick per timer waits in the queue: a thread held up (a port scan's sleep) gets one late tick, not a
// burst. A timer that ticks on input gets one tick an interval after each start. The system's 1 ms timer
// resolution is held only while a short periodic timer runs (the output pump, the monitor, a poll waiting for
// the rest of a frame): at other times the system keeps its coarse, cheaper clock.
class TimerEngine {
public:
    explicit TimerEngine(MessageWindow& window);
    TimerEngine(const TimerEngine&) = delete;
    TimerEngine& operator=(const TimerEngine&) = delete;
    ~TimerEngine();

    void Bind(Timer& timer);

private:
    struct Binding {
        Timer* timer = nullptr;
        HWND window = nullptr;
        UINT message = 0;
        std::size_t index = 0;
        UINT running = 0;  // the multimedia timer, 0 when stopped
        unsigned starts = 0;
        int interval = 0;
        bool once = false;  // ticks on input: the clock gives one tick after each start
        // Tells a tick posted before a restart or stop from a current one.
        std::atomic<unsigned> generation{0};
        std::atomic<bool> pending{false};
    };
    static void CALLBACK Elapsed(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR);
    void Follow(Binding& binding);
    void Start(Binding& binding);
    void Stop(Binding& binding);
    static bool NeedsFineClock(const Binding& binding);
    void HoldFineClockWhileNeeded();
    void Tick(WPARAM index, LPARAM generation);

    MessageWindow& window_;
    UINT message_ = 0;
    std::vector<std::unique_ptr<Binding>> bindings_;
    bool fineClock_ = false;
};
