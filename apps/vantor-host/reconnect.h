#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <string>

#include "console.h"
#include "node/device_identity.h"
#include "plugin_library.h"

// Keeps a bridge on its widget through an unplug, and waits for a widget that is not there at start: when the
// chosen port's device fails (the plug-in closed the port) or vanishes (its path is gone or names another
// device), it waits for that widget to come back and chooses its port again as a user would, then restores
// the bridge mode and the output as they were. The widget is known by every stable identity it shows,
// recorded when its port first opens and while it stays open, and found again by any of them under whatever
// path and port number; a device without one is known by its path. While it waits nothing else is opened or
// written to. One line says when the widget went and one when it came back.
class Reconnector {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kCheckEvery{200};
    // A device node may appear before its permissions are set: the first retries come soon.
    static constexpr std::chrono::milliseconds kRetryEvery{500};
    static constexpr std::chrono::milliseconds kLongestRetry{8000};
    // Numbering the system's devices and reading their identities costs more than a look at their files.
    static constexpr std::chrono::milliseconds kLookUpEvery{1000};

    // restoreMode: the host chose a bridge mode, so it is pressed again after a return.
    Reconnector(const PluginLibrary& api, vantor_driver* driver, Console& console, int port,
                bool restoreMode);

    void Poll(const vantor_bridge_status& status, Clock::time_point now);
    bool Waiting() const { return lostAt_.has_value(); }
    // The port the widget is on now, and its device path.
    int Port() const { return port_; }
    const std::string& Device() const { return device_; }

private:
    // The device a path names: a new one (even at the same path) is a different widget.
    struct DeviceId {
        bool present = false;
        unsigned long long device = 0, inode = 0, special = 0;
        bool operator==(const DeviceId&) const = default;
    };
    static DeviceId Identify(const std::string& path);
    struct Candidate {
        int port = 0;
        std::string path;
    };

    std::string Label() const;
    void Lose(const std::string& why, Clock::time_point now);
    void Linked();
    void LearnIdentities();
    Candidate Locate(Clock::time_point now);
    bool ChooseAgain(const Candidate& candidate);
    void Restore();

    const PluginLibrary& api_;
    vantor_driver* driver_;
    Console& console_;
    int port_;
    bool restoreMode_;
    std::string device_;
    DeviceId linked_;
    bool everLinked_ = false;
    Identities identities_;  // the widget's, empty while unknown or when it has none
    // The device path of each port number and that device's identities, as last looked up.
    std::array<std::string, 16> paths_;
    std::array<Identities, 16> pathIdentities_;
    std::optional<Clock::time_point> lostAt_;
    DeviceId tried_;  // the device the retries are for
    std::chrono::milliseconds retryDelay_ = kRetryEvery;
    Clock::time_point nextCheck_{};
    Clock::time_point nextAttempt_{};
    Clock::time_point nextLookUp_{};
    Clock::time_point nextLearn_{};
    // The bridge as it was while linked, restored after a return.
    bool sendMode_ = false;
    bool outputEnabled_ = false;
};
