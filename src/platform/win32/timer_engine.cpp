#include "platform/win32/timer_engine.h"

#include <mmsystem.h>

#include <exception>

#include "platform/win32/environment.h"

namespace {

constexpr UINT kResolutionMs = 1;

}  // namespace

TimerEngine::TimerEngine(MessageWindow& window) : window_(window) {
    message_ = window_.AddHandler([this](WPARAM index, LPARAM generation) { Tick(index, generation); });
    timeBeginPeriod(kResolutionMs);
}

TimerEngine::~TimerEngine() {
    for (auto& binding : bindings_) {
        binding->timer->Changed = nullptr;
        Stop(*binding);
    }
    timeEndPeriod(kResolutionMs);
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

void TimerEngine::Stop(Binding& binding) {
    if (!binding.running) return;
    // Synchronous: once it returns, no callback of this timer runs or will run.
    timeKillEvent(binding.running);
    binding.running = 0;
    ++binding.generation;
}

void TimerEngine::Follow(Binding& binding) {
    const Timer& timer = *binding.timer;
    const bool restarted = timer.Starts() != binding.starts;
    binding.starts = timer.Starts();
    if (!timer.Enabled() || timer.Interval() <= 0) {
        Stop(binding);
        return;
    }
    if (binding.running && !restarted && binding.interval == timer.Interval()) return;
    Stop(binding);
    binding.interval = timer.Interval();
    binding.running = timeSetEvent(static_cast<UINT>(timer.Interval()), kResolutionMs, &TimerEngine::Elapsed,
                                   reinterpret_cast<DWORD_PTR>(&binding),
                                   TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
    if (!binding.running) LogLine("vantor: no multimedia timer for " + timer.Name);
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
    binding.timer->Fire();
}
