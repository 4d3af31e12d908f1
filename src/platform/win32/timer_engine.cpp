#include "platform/win32/timer_engine.h"

#include <mmsystem.h>

#include <exception>

#include "platform/win32/environment.h"

namespace {

constexpr UINT kFineResolutionMs = 1;
// The system's own clock, about 15.6 ms a step, is fine enough for longer periods and single ticks.
constexpr UINT kCoarseResolutionMs = 15;
constexpr int kFinePeriodsBelowMs = 50;

}  // namespace

TimerEngine::TimerEngine(MessageWindow& window) : window_(window) {
    message_ = window_.AddHandler([this](WPARAM index, LPARAM generation) { Tick(index, generation); });
}

TimerEngine::~TimerEngine() {
    for (auto& binding : bindings_) {
        binding->timer->Changed = nullptr;
        Stop(*binding);
    }
    HoldFineClockWhileNeeded();
}

void TimerEngine::Bind(Timer& timer) {
    auto binding = std::make_unique<Binding>();
    binding->timer = &timer;
    binding->window = window_.Handle();
    binding->message = message_;
    binding->index = bindings_.size();
    Binding* raw = binding.get();
    timer.Changed = [this, raw] { Follow(*raw); };
    bindings_.push_back(std::move(binding));
    Follow(*raw);
}

bool TimerEngine::NeedsFineClock(const Binding& binding) {
    return !binding.once && binding.interval < kFinePeriodsBelowMs;
}

void TimerEngine::HoldFineClockWhileNeeded() {
    bool needed = false;
    for (const auto& binding : bindings_) needed = needed || (binding->running && NeedsFineClock(*binding));
    if (needed == fineClock_) return;
    fineClock_ = needed;
    if (needed)
        timeBeginPeriod(kFineResolutionMs);
    else
        timeEndPeriod(kFineResolutionMs);
}

void TimerEngine::Start(Binding& binding) {
    const UINT resolution = NeedsFineClock(binding) ? kFineResolutionMs : kCoarseResolutionMs;
    binding.running = timeSetEvent(static_cast<UINT>(binding.interval), resolution, &TimerEngine::Elapsed,
                                   reinterpret_cast<DWORD_PTR>(&binding),
                                   TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
    if (!binding.running) LogLine("vantor: no multimedia timer for " + binding.timer->Name);
    HoldFineClockWhileNeeded();
}

void TimerEngine::Stop(Binding& binding) {
    if (!binding.running) return;
    // Synchronous: once it returns, no callback of this timer runs or will run.
    timeKillEvent(binding.running);
    binding.running = 0;
    ++binding.generation;
    HoldFineClockWhileNeeded();
}

void TimerEngine::Follow(Binding& binding) {
    const Timer& timer = *binding.timer;
    const bool restarted = timer.Starts() != binding.starts;
    binding.starts = timer.Starts();
    const bool once = timer.TicksOnInput();
    const bool becameOnce = once && !binding.once;
    const bool newInterval = binding.interval != timer.Interval();
    binding.once = once;
    if (!timer.Enabled() || timer.Interval() <= 0) {
        Stop(binding);
        return;
    }
    // A timer that ticks on input starts its one tick afresh only when it is started again or has just
    // begun to tick on input; a periodic one runs on unless restarted or given a new interval.
    const bool start = once ? restarted || becameOnce || (binding.running && newInterval)
                            : !binding.running || restarted || newInterval;
    if (!start) return;
    Stop(binding);
    binding.interval = timer.Interval();
    Start(binding);
}

void CALLBACK TimerEngine::Elapsed(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    auto& binding = *reinterpret_cast<Binding*>(user);
    if (binding.pending.exchange(true)) return;
    if (!PostMessageW(binding.window, binding.message, binding.index, binding.generation.load()))
        binding.pending = false;
}

void TimerEngine::Tick(WPARAM index, LPARAM generation) {
    if (index >= bindings_.size()) return;
    Binding& binding = *bindings_[index];
    binding.pending = false;
    if (static_cast<unsigned>(generation) != binding.generation.load()) return;
    if (binding.once) Stop(binding);
    binding.timer->Fire();
}
