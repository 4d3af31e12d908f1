#include <exception>

#include "stuff/scoped_flag.h"
#include "window/form1.h"

// The receive poll: whatever the widget sent since the last tick, cut into whole frames, each parsed in
// order. A frame split across ticks is carried until its rest arrives, or dropped when it does not come in
// time. A closed port ends the tick silently, and so does a read failure, unless it closed the link; the
// parser shows its own failures.
void Form1::Timer1_Timer() {
    // A message box shown by the parser may run a nested event loop that ticks this timer again.
    if (polling_) return;
    if (!MSComm1.PortOpen()) {
        NoticeClosedLink();
        return;
    }
    pollBytes_.clear();
    try {
        if (MSComm1.InBufferCount() > 0) MSComm1.ReadInput(pollBytes_);
    } catch (const std::exception& failure) {
        NoticeClosedLink(failure.what());
        return;
    }
    if (pollBytes_.empty() && receiveFrames_.CarriedBytes() == 0) return;
    ScopedFlag polling(polling_);
    try {
        receiveFrames_.Feed(pollBytes_, services_.Events.Now());
    } catch (const std::exception&) {
    }
    // Where the port announces its input the poll ticks on input alone, but while a partial frame waits: that
    // one is waited for on the clock, so that it goes in time even when nothing more comes.
    Timer1.SetTicksOnInput(MSComm1.NotifiesInput() && receiveFrames_.CarriedBytes() == 0);
}

void Form1::DropCarriedFrame() {
    receiveFrames_.Reset();
    Timer1.SetTicksOnInput(MSComm1.NotifiesInput());
}
