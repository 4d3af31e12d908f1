#include <exception>

#include "stuff/scoped_flag.h"
#include "window/form1.h"

// The receive poll: whatever the widget sent since the last tick, cut into whole frames, each parsed in
// order. A frame split across ticks is carried until its rest arrives. Read failures (a closed port) end the
// tick silently; the parser shows its own failures.
void Form1::Timer1_Timer() {
    // A message box shown by the parser may run a nested event loop that ticks this timer again.
    if (polling_) return;
    try {
        if (MSComm1.InBufferCount() <= 0) return;
        MSComm1.ReadInput(pollBytes_);
    } catch (const std::exception&) {
        return;
    }
    ScopedFlag polling(polling_);
    try {
        receiveFrames_.Feed(pollBytes_,
                            [this](std::vector<std::uint8_t>& frame) { prowidget.ParseWidgetReply(frame); });
    } catch (const std::exception&) {
    }
}
