#include "platform/qt/timer_engine.h"

#include <exception>

#include "platform/qt/logging.h"

TimerEngine::~TimerEngine() {
    for (auto& binding : bindings_) binding->timer->Changed = nullptr;
}

void TimerEngine::Bind(Timer& timer) {
    auto binding = std::make_unique<Binding>();
    binding->timer = &timer;
    binding->qtimer = std::make_unique<QTimer>();
    binding->qtimer->setTimerType(Qt::PreciseTimer);
    Binding* raw = binding.get();
    QObject::connect(raw->qtimer.get(), &QTimer::timeout, [raw] {
        // A tick's failure must not unwind through Qt's event loop.
        try {
            raw->timer->Fire();
        } catch (const std::exception& failure) {
            qCWarning(lcWindow).noquote() << QString::fromStdString(raw->timer->Name) << failure.what();
        }
    });
    timer.Changed = [raw] { Follow(*raw); };
    bindings_.push_back(std::move(binding));
    Follow(*raw);
}

void TimerEngine::Follow(Binding& binding) {
    QTimer& qtimer = *binding.qtimer;
    const Timer& timer = *binding.timer;
    const bool restarted = timer.Starts() != binding.starts;
    binding.starts = timer.Starts();
    if (!timer.Enabled() || timer.Interval() <= 0) {
        qtimer.stop();
        return;
    }
    if (qtimer.interval() != timer.Interval()) qtimer.setInterval(timer.Interval());
    // A timer that ticks on input is ticked by its owner; the clock gives it one tick after each start.
    const bool once = timer.TicksOnInput();
    const bool becameOnce = once && !qtimer.isSingleShot();
    qtimer.setSingleShot(once);
    if (once ? (restarted || becameOnce) : (!qtimer.isActive() || restarted)) qtimer.start();
}
