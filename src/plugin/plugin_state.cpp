#include "plugin_state.h"

ControlWindow& PluginState::Window() {
    if (!window_) {
        // Held before it loads, so that anything its load lets run finds this window and makes no second.
        window_ = makeWindow_();
        window_->Load();
    }
    return *window_;
}
