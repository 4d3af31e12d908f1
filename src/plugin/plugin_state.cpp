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
    if (serverLocks_ == 0) throw std::logic_error("No server lock is held");
    --serverLocks_;
}
