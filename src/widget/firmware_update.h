#pragma once

#include <cstddef>
#include <string>

#include "widget/prowidget.h"

inline constexpr int kFirmwarePages = 96;
inline constexpr std::size_t kFirmwarePageBytes = 64;
inline constexpr std::size_t kFirmwareImageBytes = kFirmwarePages * kFirmwarePageBytes;  // 6144
inline constexpr std::int32_t kPageAccepted = 254;
inline constexpr int kReplyTimeoutMs = 10000;
inline constexpr int kFirmwareAttempts = 2;
inline constexpr int kRetryPauseMs = 500;

inline constexpr const char* kTimeoutText = "Timeout! Is there a pro widget on this port?";
inline constexpr const char* kFirmwareUpdatedText = "Firmware Updated";
inline constexpr const char* kFirmwareSuccessText = "Firmware Update Success!";
inline constexpr const char* kEmptyFirmwareText = "The firmware file is empty.";

// What a firmware update needs from the window it runs in.
class FirmwareUpdateWindow {
public:
    virtual ~FirmwareUpdateWindow() = default;
    virtual std::string StatusText() const = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // Starts the reply time-out; starting it while it runs restarts its count.
    virtual void StartReplyTimeout() = 0;
    // False once the time-out has expired.
    virtual bool ReplyTimeoutRunning() const = 0;
    // Sleeps until an event arrives (serial input, the time-out, a user action) or maxMs pass, then runs the
    // pending events.
    virtual void WaitForEvents(int maxMs) = 0;
    // The event loop's time, by which a page answer cut short is given up.
    virtual FrameAssembler::TimePoint Now() const = 0;
    // An OK-only message box; returns when it has been closed.
    virtual void ShowMessage(const std::string& text) = 0;
    // A line in the plug-in's log.
    virtual void Log(const std::string& line) = 0;
};

enum class FirmwareAttempt {
    Updated,
    Failed,
    UnusableFile,  // empty, a folder or not to be opened: another attempt can only fail the same way
};

// One complete attempt to flash the firmware image at `path` into the widget on `prowidget`'s port: the file
// is checked, then the reprogram request goes out, then 96 pages of 64 bytes, each acknowledged before the
// next, and no answer may follow the last. Updated when every page was accepted by its own answer. Progress
// and failures are shown through `window`.
FirmwareAttempt UpdateFirmware(ProWidget& prowidget, FirmwareUpdateWindow& window, const std::string& path);
