#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "node/level_mailbox.h"
#include "node/node_config.h"

enum class LinkState : std::uint8_t { Waiting, Probing, Linked, Updating };

// Where a firmware update of the port's widget stands.
struct FirmwareProgress {
    enum class State { None, Running, Updated, Failed };
    State state = State::None;
    int pagesWritten = 0;  // of kFirmwarePages
    std::string message;   // the update's status text, or how it ended
};

// What a link has counted since it started; read from any thread.
struct LinkCounters {
    std::atomic<std::uint64_t> framesOut{0};  // output frames the widget took
    std::atomic<std::uint64_t> framesIn{0};   // good start code 0 reports handed to the network side
    std::atomic<std::uint64_t> faulty{0};     // reports the widget flagged
    std::atomic<std::uint64_t> otherStartCode{0};
    std::atomic<std::uint64_t> noLevels{0};
    std::atomic<std::uint64_t> linkLosses{0};
};

// One widget, served by a thread of its own, so that what waits on one widget (a probe's answer, a firmware
// page's acknowledgement, a write into a stalled device) never holds up another port's frames or the
// network. While the link serves its widget in send mode, the caller's thread writes each frame itself when
// the line takes it at once (it never waits for the line's lock); anything else crosses between the threads
// through lock-free mailboxes that keep only the latest frame, and the rest (lines for the journal, the
// device found, commands) under a mutex, off the frames' path.
//
// The link looks for its widget with `locate` (on its own thread, every kLookEvery while it waits), opens
// it, asks for its parameters, and serves it in its mode until it fails or vanishes; then it waits for it
// again. `wake` is called from the link's thread whenever there is something to take: an input frame, a
// line, a change of state.
class WidgetLink {
public:
    using Clock = std::chrono::steady_clock;
    using Locate = std::function<std::string()>;
    static constexpr std::chrono::milliseconds kLookEvery{500};
    static constexpr std::chrono::milliseconds kProbeTimeout{1000};
    // A device that fails is tried less often, but never so seldom that a widget plugged back in waits long.
    static constexpr std::chrono::milliseconds kLongestRetry{1500};

    WidgetLink(std::string label, Locate locate, PortMode mode, std::function<void()> wake);
    ~WidgetLink();
    WidgetLink(const WidgetLink&) = delete;
    WidgetLink& operator=(const WidgetLink&) = delete;

    void SetMode(PortMode mode);
    void SetLabel(std::string label);
    // Send mode: the levels (start code first) the widget shows next. Written at once from the caller's
    // thread while the link serves its widget and the line takes them without waiting; handed to the link's
    // thread otherwise (a probe, an update, a line that is full).
    void PutLevels(std::span<const std::uint8_t> levels, std::size_t slots);
    // Receive mode: the newest good frame of the widget's input since the last take, or null.
    const DmxFrame* TakeInput() { return input_.Take(); }
    // Journal lines since the last take, already prefixed with the port's label.
    std::vector<std::string> TakeLines();
    // Starts a firmware update of the linked widget from the file; false (with a line) when none is linked
    // or an update runs.
    bool UpdateFirmware(std::string path);

    LinkState State() const { return state_.load(); }
    std::string DevicePath() const;
    // The firmware version the widget reported ("2.44"), empty before it answered.
    std::string Firmware() const;
    // The widget's serial number, eight digits: as its by-id name carries it, else as it answered; empty
    // while neither is known.
    std::string SerialNumber() const;
    // The by-id name of the linked device, empty when it has none.
    std::string ByIdName() const;
    // The widget's last reply status as the control window words it ("Waiting...", "Ready"); while its
    // firmware is updated, the update's status text.
    std::string StatusText() const;
    FirmwareProgress UpdateProgress() const;
    const LinkCounters& Counters() const { return counters_; }
    std::uint64_t FramesOverwritten() const { return output_.Overwritten(); }

private:
    struct Worker;

    std::string Label() const;
    void Say(const std::string& line);
    void WakeThread();
    bool WriteAtOnce(std::span<const std::uint8_t> levels);

    std::function<void()> wake_;
    LevelMailbox output_;
    LevelMailbox input_;
    // The last levels put, for a widget that comes back.
    LevelMailbox latest_;
    // One writer at a time on the widget's line. The caller's thread only tries it, and writes only while
    // lineFd_ names the open line of a link that serves in send mode; what it could write only in part, the
    // link's thread finishes before anything else.
    std::mutex lineMutex_;
    std::atomic<int> lineFd_{-1};
    std::array<std::uint8_t, 518> directFrame_{};
    std::vector<std::uint8_t> directTail_;
    LinkCounters counters_;
    std::atomic<LinkState> state_{LinkState::Waiting};
    std::atomic<std::uint8_t> replyStatus_;
    std::atomic<PortMode> mode_;
    std::atomic<bool> stopping_{false};
    int wakeFd_ = -1;

    mutable std::mutex mutex_;  // guards what follows
    std::string label_;
    std::vector<std::string> lines_;
    std::string devicePath_;
    std::string firmware_;
    std::string serialNumber_;
    std::string byIdName_;
    std::optional<std::string> firmwareFile_;
    FirmwareProgress update_;

    std::unique_ptr<Worker> worker_;
    std::thread thread_;
};
