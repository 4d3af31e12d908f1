#include "platform/win32/win32_event_loop.h"

#include <chrono>

#include "platform/win32/win32_headers.h"

namespace {

// Enough to empty the queue; few enough that ticks arriving while it runs cannot keep it going for ever.
constexpr int kMostMessagesAtOnce = 256;

// Dispatches what is waiting; false when WM_QUIT was among it.
bool DispatchWaiting() {
    MSG message;
    for (int count = 0; count < kMostMessagesAtOnce && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);
         ++count) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

}  // namespace

void Win32EventLoop::ProcessEvents() {
    DispatchWaiting();
}

void Win32EventLoop::WaitForEvents(int maxMs) {
    MsgWaitForMultipleObjectsEx(0, nullptr, maxMs > 0 ? static_cast<DWORD>(maxMs) : 0, QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
    DispatchWaiting();
}

void Win32EventLoop::Sleep(int ms) {
    if (ms > 0) ::Sleep(static_cast<DWORD>(ms));
}

bool Win32EventLoop::RunFor(int ms) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (!DispatchWaiting()) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) return true;
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}
