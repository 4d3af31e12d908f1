#include "plugin_state.h"

#include <stdexcept>

ControlWindow& PluginState::Window() {
    if (!window_) {
        // Held before it loads, so that anything its load lets run finds this window and makes no second.
        window_ = makeWindow_();
        window_->Load();
    }
    return *window_;
}

void PluginState::UnlockServer() {
    int held = serverLocks_.load();
    do {
        if (held == 0) throw std::logic_error("No server lock is held");
    } while (!serverLocks_.compare_exchange_weak(held, held - 1));
}
