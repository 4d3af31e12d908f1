#pragma once

#include <array>
#include <memory>
#include <string>

#include "vantor_out.h"

class Form1Window;
class QCoreApplication;

// Everything the loaded plug-in holds: the host's helper object, the Qt application it made (when the host
// had none), the lazily created window, and the counts of live drivers and server locks for the unload test.
class PluginState {
public:
    PluginState();
    PluginState(const PluginState&) = delete;
    PluginState& operator=(const PluginState&) = delete;
    ~PluginState();

    // HostHelper: a reference is taken on the new object before the one held so far is released.
    vantor_host_helper* HostHelper() const { return hostHelper_; }
    void HoldHostHelper(vantor_host_helper* helper);
    void ReleaseHostHelper();

    // Creates the Qt application when the host runs none (without a GUI when no person can see a window).
    void EnsureApplication();
    bool HasWindow() const { return window_ != nullptr; }
    // The control window, created and loaded on first use.
    Form1Window& Window();

    void ObjectCreated() { ++liveObjects_; }
    void ObjectReleased() { --liveObjects_; }
    int LiveObjects() const { return liveObjects_; }
    void LockServer() { ++serverLocks_; }
    // Thrown when no lock is held.
    void UnlockServer();
    // No driver alive and no server lock held.
    bool CanUnload() const { return liveObjects_ == 0 && serverLocks_ == 0; }

private:
    vantor_host_helper* hostHelper_ = nullptr;
    int liveObjects_ = 0;
    int serverLocks_ = 0;
    // QApplication keeps references to these for its whole life.
    int argc_ = 0;
    std::array<std::string, 1> args_;
    std::array<char*, 2> argv_{};
    std::unique_ptr<QCoreApplication> app_;
    std::unique_ptr<Form1Window> window_;
};

// The one state of this loaded library.
PluginState& ThePlugin();
