#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "control_window.h"
#include "host_helper.h"

// Everything one loaded plug-in holds: the host's helper object, the lazily created control window, and the
// counts of live drivers and server locks for the unload test. The host boundary of each platform makes one
// and says how its window is built. The counts may change on any thread (COM makes and ends objects in
// every apartment); the rest belongs to the thread the boundary admits.
class PluginState {
public:
    using WindowMaker = std::function<std::unique_ptr<ControlWindow>()>;

    explicit PluginState(WindowMaker makeWindow) : makeWindow_(std::move(makeWindow)) {}
    PluginState(const PluginState&) = delete;
    PluginState& operator=(const PluginState&) = delete;

    // The new reference exists before the one held so far is released.
    void HoldHostHelper(std::unique_ptr<HostHelperReference> helper) { hostHelper_ = std::move(helper); }
    void ReleaseHostHelper() { hostHelper_.reset(); }
    bool HoldsHostHelper() const { return hostHelper_ != nullptr; }

    bool HasWindow() const { return window_ != nullptr; }
    // The control window, created and loaded on first use.
    ControlWindow& Window();
    // Ends the window with its timers, port and socket, for a library about to be unloaded.
    void CloseWindow() { window_.reset(); }

    void ObjectCreated() { ++liveObjects_; }
    void ObjectReleased() { --liveObjects_; }
    int LiveObjects() const { return liveObjects_; }
    void LockServer() { ++serverLocks_; }
    // Thrown when no lock is held.
    void UnlockServer();
    // No driver alive and no server lock held.
    bool CanUnload() const { return liveObjects_ == 0 && serverLocks_ == 0; }

private:
    WindowMaker makeWindow_;
    std::unique_ptr<HostHelperReference> hostHelper_;
    std::unique_ptr<ControlWindow> window_;
    std::atomic<int> liveObjects_{0};
    std::atomic<int> serverLocks_{0};
};
