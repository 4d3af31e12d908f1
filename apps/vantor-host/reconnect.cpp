#include "reconnect.h"

#include <sys/stat.h>

#include <algorithm>

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
    return "port " + std::to_string(port_) + " (" + (device_.empty() ? "no device yet" : device_) + ")";
}

void Reconnector::Lose(const std::string& why, Clock::time_point now) {
    lostAt_ = now;
    tried_ = {};
    console_.Print(Label() + ": " +
                   (everLinked_ ? "widget gone (" + why + ")" : "no widget yet (" + why + ")") +
                   "; waiting for it");
}

void Reconnector::Linked() {
    everLinked_ = true;
    linked_ = Identify(device_);
    LearnIdentities();
}

// Only from the device that linked, so that a later stranger at its path is no match. Names that come later
// (udev's by-id link) are added to the ones known.
void Reconnector::LearnIdentities() {
    const Identities added = Learn(identities_, DeviceIdentities(device_));
    if (added.empty()) return;
    std::string names;
    for (const std::string& name : added) names += (names.empty() ? "" : ", ") + name;
    console_.Print(Label() + ": known as " + names);
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
            if (!everLinked_) {
                console_.Print(Label() + ": widget connected");
                Linked();
            } else if (now >= nextLearn_) {
                nextLearn_ = now + kLookUpEvery;
                LearnIdentities();
            }
            return;
        }
        Lose(!everLinked_  ? "the port did not open"
             : !open       ? "the port closed"
             : !id.present ? "the device vanished"
                           : "the device was replaced",
             now);
    }
    const Candidate candidate = Locate(now);
    const DeviceId id = Identify(candidate.path);
    if (!id.present) return;
    // A device that has just appeared is tried at once; one that stays and does not answer less and less
    // often.
    if (!(id == tried_)) {
        tried_ = id;
        retryDelay_ = kRetryEvery;
        nextAttempt_ = now;
    }
    if (now < nextAttempt_) return;
    if (!ChooseAgain(candidate)) {
        nextAttempt_ = now + retryDelay_;
        retryDelay_ = std::min(retryDelay_ * 2, kLongestRetry);
        return;
    }
    Restore();
    console_.Print(Label() + ": " +
                   (everLinked_ ? "widget back after " + SecondsText(now - *lostAt_) : "widget connected"));
    Linked();
    lostAt_.reset();
}

// Where the widget is now: the port whose device has its identity, or without one the port it was on.
Reconnector::Candidate Reconnector::Locate(Clock::time_point now) {
    if (now >= nextLookUp_) {
        nextLookUp_ = now + kLookUpEvery;
        for (std::size_t index = 0; index < paths_.size(); ++index) {
            paths_[index] = api_.DevicePathOf(static_cast<int>(index) + 1);
            pathIdentities_[index] = identities_.empty() ? Identities() : DeviceIdentities(paths_[index]);
        }
    }
    if (identities_.empty()) return {port_, paths_[static_cast<std::size_t>(port_ - 1)]};
    for (std::size_t index = 0; index < paths_.size(); ++index)
        if (SameDevice(identities_, pathIdentities_[index]))
            return {static_cast<int>(index) + 1, paths_[index]};
    return {};
}

// As a user would: "Search", for this one port only, then choose it.
bool Reconnector::ChooseAgain(const Candidate& candidate) {
    if (api_.search_port(candidate.port) != VANTOR_S_OK) return false;
    vantor_bool opened = VANTOR_FALSE;
    if (api_.select_port(candidate.port, &opened) != VANTOR_S_OK || !IsTrue(opened)) return false;
    port_ = candidate.port;
    device_ = candidate.path;
    return true;
}

void Reconnector::Restore() {
    if (restoreMode_) api_.set_bridge_mode(sendMode_ ? VANTOR_TRUE : VANTOR_FALSE);
    vantor_bool result = VANTOR_FALSE;
    if (outputEnabled_) api_.Enable(driver_, &result);
}
