#include "reconnect.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

namespace {

std::string Seconds(Reconnector::Clock::duration span) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", std::chrono::duration<double>(span).count());
    return text;
}

}  // namespace

Reconnector::Reconnector(const PluginLibrary& api, vantor_driver* driver, Console& console, int port,
                         bool restoreMode)
    : api_(api),
      driver_(driver),
      console_(console),
      port_(port),
      restoreMode_(restoreMode),
      device_(api.DevicePathOf(port)),
      linked_(Identify(device_)) {}

Reconnector::DeviceId Reconnector::Identify(const std::string& path) {
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0) return {};
    return {true, static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino),
            static_cast<unsigned long long>(info.st_rdev)};
}

std::string Reconnector::Label() const {
    return "port " + std::to_string(port_) + (device_.empty() ? "" : " (" + device_ + ")");
}

void Reconnector::Lose(const std::string& why, Clock::time_point now) {
    lostAt_ = now;
    tried_ = {};
    console_.Print(Label() + ": " +
                   (everLinked_ ? "widget gone (" + why + ")" : "no widget yet (" + why + ")") +
                   "; waiting for it");
}

void Reconnector::Poll(const vantor_bridge_status& status, Clock::time_point now) {
    if (now < nextCheck_) return;
    nextCheck_ = now + kCheckEvery;
    const bool open = IsTrue(status.port_open) && status.port == port_;
    if (!lostAt_) {
        const DeviceId id = Identify(device_);
        // What to restore: the bridge as it ran, or as the host set it up when it never had the widget.
        if ((open && id == linked_) || !everLinked_) {
            sendMode_ = IsTrue(status.send_mode);
            outputEnabled_ = IsTrue(status.output_enabled);
        }
        if (open && id == linked_) {
            if (!everLinked_) console_.Print(Label() + ": widget connected");
            everLinked_ = true;
            return;
        }
        Lose(!everLinked_  ? "the port did not open"
             : !open       ? "the port closed"
             : !id.present ? "the device vanished"
                           : "the device was replaced",
             now);
    }
    // With the system's numbering the number may name a device only once one is plugged in.
    if (device_.empty() && now >= nextLookUp_) {
        nextLookUp_ = now + kLookUpEvery;
        device_ = api_.DevicePathOf(port_);
    }
    const DeviceId id = Identify(device_);
    if (!id.present) return;
    // A device that has just appeared is tried at once; one that stays and does not answer less and less
    // often, since each try may probe every port.
    if (!(id == tried_)) {
        tried_ = id;
        retryDelay_ = kRetryEvery;
        nextAttempt_ = now;
    }
    if (now < nextAttempt_) return;
    if (!ChooseAgain()) {
        nextAttempt_ = now + retryDelay_;
        retryDelay_ = std::min(retryDelay_ * 2, kLongestRetry);
        return;
    }
    Restore();
    console_.Print(
        Label() + ": " +
        (everLinked_ ? "widget back after " + Seconds(now - *lostAt_) : std::string("widget connected")));
    everLinked_ = true;
    lostAt_.reset();
}

// As a user would: "Search" first when the last scan could not open the port, or when the port is still
// open on a device that went away, then choose the port.
bool Reconnector::ChooseAgain() {
    vantor_port_report report{};
    vantor_bridge_status status{};
    if (api_.get_port_report(port_, &report) != VANTOR_S_OK || api_.get_bridge_status(&status) != VANTOR_S_OK)
        return false;
    if (!report.opened || IsTrue(status.port_open)) api_.search_ports();
    vantor_bool opened = VANTOR_FALSE;
    api_.select_port(port_, &opened);
    if (api_.get_bridge_status(&status) != VANTOR_S_OK) return false;
    if (!IsTrue(status.port_open) || status.port != port_) return false;
    linked_ = Identify(device_);
    return true;
}

void Reconnector::Restore() {
    if (restoreMode_) api_.set_bridge_mode(sendMode_ ? VANTOR_TRUE : VANTOR_FALSE);
    vantor_bool result = VANTOR_FALSE;
    if (outputEnabled_) api_.Enable(driver_, &result);
}
