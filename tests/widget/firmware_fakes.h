#pragma once

// A widget's boot-strap programmer behind a FakeSerialPort, a virtual clock that moves only when the code
// under test waits, so that ten-second time-outs pass at once, and a firmware update's window on that clock.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "support/fakes.h"
#include "support/widget_frames.h"
#include "widget/firmware_update.h"
#include "window/controls.h"

class VirtualClock {
public:
    // Timers whose ticks the clock delivers; a restart (SetEnabled(true)) starts a new full period.
    void Watch(Timer& timer) { watched_.push_back({&timer, timer.Starts(), 0}); }
    // Runs action once `delayMs` from now.
    void After(int delayMs, std::function<void()> action) {
        scheduled_.push_back({now + delayMs, std::move(action)});
    }
    // Lets `ms` pass, delivering what falls due in time order.
    void Advance(int ms) {
        const long target = now + ms;
        while (true) {
            Sync();
            long due = std::numeric_limits<long>::max();
            for (const auto& entry : scheduled_) due = std::min(due, entry.due);
            for (const auto& entry : watched_)
                if (entry.timer->Enabled()) due = std::min(due, entry.due);
            if (due > target) break;
            now = due;
            RunDue();
        }
        now = target;
    }
    // Follows a FakeEventLoop: each wait lets its full time pass.
    void Drive(FakeEventLoop& events) {
        events.onProcess = [this, &events] {
            Advance(events.waitedMs - drivenMs_);
            drivenMs_ = events.waitedMs;
            events.now = FakeEventLoop::Clock::time_point{} + std::chrono::milliseconds(now);
            if (onWait) onWait();
        };
    }

    long now = 0;
    // Runs after each wait, for tests that act while the code under test waits.
    std::function<void()> onWait;

private:
    struct Scheduled {
        long due;
        std::function<void()> action;
    };
    struct Watched {
        Timer* timer;
        unsigned starts;
        long due;
    };

    void Sync() {
        for (auto& entry : watched_) {
            if (entry.timer->Enabled() && entry.timer->Starts() != entry.starts) {
                entry.starts = entry.timer->Starts();
                entry.due = now + entry.timer->Interval();
            }
        }
    }
    void RunDue() {
        for (std::size_t i = 0; i < scheduled_.size(); ++i) {
            if (scheduled_[i].due != now) continue;
            auto action = std::move(scheduled_[i].action);
            scheduled_.erase(scheduled_.begin() + static_cast<std::ptrdiff_t>(i));
            action();
            return;
        }
        for (auto& entry : watched_) {
            if (!entry.timer->Enabled() || entry.due != now) continue;
            entry.due += entry.timer->Interval();
            entry.timer->Fire();
            return;
        }
    }

    std::vector<Scheduled> scheduled_;
    std::vector<Watched> watched_;
    long drivenMs_ = 0;
};

// The widget's programmer: a reprogram request starts a session with an empty image; each 64-byte page is
// answered after replyDelayMs, "TRUE" (and kept) unless another answer is chosen for its number.
class FakeProgrammer {
public:
    enum class Answer { True, False, Silent, NotAPageAnswer };

    FakeProgrammer(FakeSerialPort& port, VirtualClock& clock) : port_(port), clock_(clock) {
        port_.onWrite = [this](const Bytes& written) { Take(written); };
    }

    static Bytes PageAnswer(const char* answer) { return WidgetFrame(2, Bytes(answer, answer + 4)); }

    // Bytes that reach the port some time after a page was sent.
    struct Delivery {
        int afterMs;
        Bytes bytes;
    };

    std::map<int, Answer> answers;      // every session
    std::map<int, Answer> answersOnce;  // the next session that reaches that page
    // What reaches the port instead of the answer to that page, in every session.
    std::map<int, std::vector<Delivery>> deliveries;
    // What reaches the port, unasked, after each reprogram request.
    std::vector<Delivery> afterReprogram;
    int replyDelayMs = 10;
    Bytes image;
    int pages = 0;
    int reprogramRequests = 0;
    int outputFrames = 0;
    int getParametersRequests = 0;

private:
    void Take(const Bytes& written) {
        if (written.size() < 5) return;
        switch (written[1]) {
            case 1:
                ++reprogramRequests;
                image.clear();
                pages = 0;
                Deliver(afterReprogram);
                break;
            case 2:
                Page(Bytes(written.begin() + 4, written.end() - 1));
                break;
            case 3:
                ++getParametersRequests;
                break;
            case 6:
                ++outputFrames;
                break;
        }
    }
    void Page(const Bytes& data) {
        const int number = ++pages;
        Answer answer = Answer::True;
        if (auto once = answersOnce.find(number); once != answersOnce.end()) {
            answer = once->second;
            answersOnce.erase(once);
        } else if (auto always = answers.find(number); always != answers.end()) {
            answer = always->second;
        }
        if (answer == Answer::True && data.size() == 64) image.insert(image.end(), data.begin(), data.end());
        if (auto scripted = deliveries.find(number); scripted != deliveries.end()) {
            Deliver(scripted->second);
            return;
        }
        Bytes reply;
        switch (answer) {
            case Answer::True:
                reply = PageAnswer("TRUE");
                break;
            case Answer::False:
                reply = PageAnswer("FALS");
                break;
            case Answer::NotAPageAnswer:
                reply = WidgetFrame(3, {44, 2, 9, 1, 40});
                break;
            case Answer::Silent:
                return;
        }
        clock_.After(replyDelayMs, [this, reply] { port_.Receive(reply); });
    }

    void Deliver(const std::vector<Delivery>& scripted) {
        for (const Delivery& delivery : scripted)
            clock_.After(delivery.afterMs, [this, bytes = delivery.bytes] { port_.Receive(bytes); });
    }

    FakeSerialPort& port_;
    VirtualClock& clock_;
};

// The window on the virtual clock: the time-out expires when ten seconds have passed since it was started.
class ClockedWindow : public FirmwareUpdateWindow {
public:
    explicit ClockedWindow(VirtualClock& clock) : clock_(clock) {}
    std::string StatusText() const override { return status; }
    void SetStatusText(const std::string& text) override {
        status = text;
        statusHistory.push_back(text);
    }
    void StartReplyTimeout() override { deadline_ = clock_.now + kReplyTimeoutMs; }
    bool ReplyTimeoutRunning() const override { return clock_.now < deadline_; }
    void WaitForEvents(int maxMs) override { clock_.Advance(maxMs); }
    FrameAssembler::TimePoint Now() const override {
        return FrameAssembler::TimePoint{} + std::chrono::milliseconds(clock_.now);
    }
    void Log(const std::string& line) override { log.push_back(line); }
    void ShowMessage(const std::string& text) override {
        messages.push_back(text);
        if (whileMessageOpen) whileMessageOpen();
    }
    void Reset() {
        status.clear();
        statusHistory.clear();
        messages.clear();
        log.clear();
    }

    std::string status;
    std::vector<std::string> statusHistory;
    std::vector<std::string> messages;
    std::vector<std::string> log;
    std::function<void()> whileMessageOpen;

private:
    VirtualClock& clock_;
    long deadline_ = -1;
};
