#include "node/widget_link.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <utility>

#include "node/device_identity.h"
#include "node/tty_port.h"
#include "node/widget_probe.h"
#include "stuff/message_box.h"
#include "widget/firmware_update.h"
#include "widget/frame_assembler.h"
#include "widget/prowidget.h"
#include "widget/records.h"

namespace {

using std::chrono::milliseconds;

// The widget's own failure boxes become journal lines: nobody is there to close a box.
class LineBox : public MessageBox {
public:
    explicit LineBox(std::function<void(const std::string&)> say) : say_(std::move(say)) {}
    void Show(const std::string& text) override { say_(text); }
    bool IsOpen() const override { return false; }

private:
    std::function<void(const std::string&)> say_;
};

constexpr std::array<std::uint8_t, 5> kSerialNumberRequest = {kStartDelimiter, kLabelSerialNumber, 0, 0,
                                                              kEndDelimiter};

int MillisecondsUntil(WidgetLink::Clock::time_point when) {
    const auto left = std::chrono::duration_cast<milliseconds>(when - WidgetLink::Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60000));
}

}  // namespace

// Everything that only the link's thread touches.
struct WidgetLink::Worker : FirmwareUpdateWindow {
    explicit Worker(WidgetLink& link)
        : link(link),
          box([&link](const std::string& text) { link.Say(text); }),
          prowidget(port, box),
          frames([this](std::vector<std::uint8_t>& frame) { TakeFrame(frame); }) {
        prowidget.InitWidgetPackets();
        prowidget.SetDmxForwarder([this] { return appliedMode == PortMode::Receive; },
                                  [this](std::span<const std::uint8_t, kLevelCount> levels) {
                                      this->link.input_.Put(levels, prowidget.ReceivedSlotCount());
                                      this->link.counters_.framesIn.fetch_add(1, std::memory_order_relaxed);
                                      if (this->link.wake_) this->link.wake_();
                                  });
    }

    void Run();
    void Wait();
    bool Open(const std::string& path);
    bool Probe();
    void Serve();
    void ApplyMode();
    void WriteLatestLevels();
    // Waits for the widget's bytes or a wake-up, at most ms, and takes the bytes unless the caller reads
    // them itself (the firmware update matches answers to pages); false when the port failed.
    bool Pump(int ms, bool takeInput = true);
    void TakeFrame(std::vector<std::uint8_t>& frame);
    void Lose(const std::string& why);
    // The caller's thread writes no more; what it left unwritten is dropped.
    void CloseDirectLine();
    // With the line's lock held.
    void FinishDirectTail();
    void CountDrops();
    void RunFirmwareUpdate(const std::string& file);

    // The firmware update's window.
    std::string StatusText() const override {
        std::lock_guard lock(link.mutex_);
        return link.update_.message;
    }
    void SetStatusText(const std::string& text) override {
        std::lock_guard lock(link.mutex_);
        link.update_.message = text;
        // The pages' marks: '.' for each page written, 'x' for one refused; other texts leave the count.
        if (text.find_first_not_of(".x") == std::string::npos)
            link.update_.pagesWritten = static_cast<int>(std::count(text.begin(), text.end(), '.'));
    }
    void StartReplyTimeout() override { replyDeadline = Clock::now() + milliseconds(kReplyTimeoutMs); }
    bool ReplyTimeoutRunning() const override { return Clock::now() < replyDeadline; }
    void WaitForEvents(int maxMs) override {
        // A port removed mid-update must not wait out every page's time-out: its next write fails at once.
        if (link.stopping_) port.SetPortOpen(false);
        Pump(std::min(maxMs, std::max(1, MillisecondsUntil(replyDeadline))), false);
    }
    FrameAssembler::TimePoint Now() const override { return Clock::now(); }
    void ShowMessage(const std::string& text) override {
        shown = text;
        link.Say(text);
    }
    void Log(const std::string&) override {}

    WidgetLink& link;
    TtyPort port;
    LineBox box;
    ProWidget prowidget;
    FrameAssembler frames;
    std::vector<std::uint8_t> bytes;
    PortMode appliedMode = PortMode::Send;
    bool parametersSeen = false;
    bool saidWaiting = false;
    bool saidNoAnswer = false;
    milliseconds retryDelay = kLookEvery;
    std::string shown;  // the update's last message
    std::optional<std::uint32_t> serialAnswered;
    Clock::time_point replyDeadline{};
    DroppedDmxReports counted{};
    // The last levels put (taken from the link's latest_ when the mode is applied), for a widget that
    // comes back.
    DmxFrame lastLevels{};
    bool haveLevels = false;
};

WidgetLink::WidgetLink(std::string label, Locate locate, PortMode mode, std::function<void()> wake)
    : wake_(std::move(wake)), replyStatus_(kStatusWaiting), mode_(mode), label_(std::move(label)) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    worker_ = std::make_unique<Worker>(*this);
    thread_ = std::thread([this, locate = std::move(locate)] {
        while (!stopping_) {
            const std::string path = locate();
            if (path.empty() || !worker_->Open(path)) {
                worker_->Wait();
                continue;
            }
            worker_->Run();
        }
        worker_->port.SetPortOpen(false);
    });
}

WidgetLink::~WidgetLink() {
    stopping_ = true;
    WakeThread();
    if (thread_.joinable()) thread_.join();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

std::string WidgetLink::Label() const {
    std::lock_guard lock(mutex_);
    return label_;
}

void WidgetLink::SetLabel(std::string label) {
    std::lock_guard lock(mutex_);
    label_ = std::move(label);
}

void WidgetLink::Say(const std::string& line) {
    {
        std::lock_guard lock(mutex_);
        lines_.push_back(label_ + ": " + line);
    }
    if (wake_) wake_();
}

void WidgetLink::WakeThread() {
    const std::uint64_t one = 1;
    if (wakeFd_ >= 0) [[maybe_unused]]
        auto written = ::write(wakeFd_, &one, sizeof one);
}

void WidgetLink::SetMode(PortMode mode) {
    mode_ = mode;
    WakeThread();
}

void WidgetLink::PutLevels(std::span<const std::uint8_t> levels, std::size_t slots) {
    latest_.Put(levels, slots);
    if (WriteAtOnce(levels)) return;
    output_.Put(levels, slots);
    WakeThread();
}

// A hand-over to the link's thread costs a wake-up of that thread on every frame, and its latency; a write
// that cannot wait costs neither.
bool WidgetLink::WriteAtOnce(std::span<const std::uint8_t> levels) {
    if (lineFd_.load() < 0) return false;
    std::unique_lock lock(lineMutex_, std::try_to_lock);
    const int fd = lineFd_.load();
    if (!lock || fd < 0 || !directTail_.empty()) return false;
    // The output record as the widget module sends it: head, the levels, the end delimiter.
    directFrame_[0] = kStartDelimiter;
    directFrame_[1] = kLabelOutputDmx;
    directFrame_[2] = static_cast<std::uint8_t>(kLevelCount & 0xFF);
    directFrame_[3] = static_cast<std::uint8_t>(kLevelCount >> 8);
    std::copy_n(levels.begin(), std::min(levels.size(), kLevelCount), directFrame_.begin() + 4);
    directFrame_.back() = kEndDelimiter;
    const ssize_t written = ::write(fd, directFrame_.data(), directFrame_.size());
    // Nothing taken: the link's thread writes it, waiting as long as a line may take, and meets any fault.
    if (written <= 0) return false;
    counters_.framesOut.fetch_add(1, std::memory_order_relaxed);
    if (static_cast<std::size_t>(written) < directFrame_.size()) {
        directTail_.assign(directFrame_.begin() + written, directFrame_.end());
        lock.unlock();
        WakeThread();
    }
    return true;
}

std::vector<std::string> WidgetLink::TakeLines() {
    std::lock_guard lock(mutex_);
    return std::exchange(lines_, {});
}

bool WidgetLink::UpdateFirmware(std::string path) {
    {
        std::lock_guard lock(mutex_);
        if (state_ == LinkState::Linked && !firmwareFile_) {
            firmwareFile_ = std::move(path);
            update_ = {FirmwareProgress::State::Running, 0, ""};
            WakeThread();
            return true;
        }
    }
    Say(state_ == LinkState::Updating ? "a firmware update runs already" : "no widget to update");
    return false;
}

std::string WidgetLink::DevicePath() const {
    std::lock_guard lock(mutex_);
    return devicePath_;
}

std::string WidgetLink::Firmware() const {
    std::lock_guard lock(mutex_);
    return firmware_;
}

std::string WidgetLink::SerialNumber() const {
    std::lock_guard lock(mutex_);
    return serialNumber_;
}

std::string WidgetLink::ByIdName() const {
    std::lock_guard lock(mutex_);
    return byIdName_;
}

std::string WidgetLink::StatusText() const {
    std::lock_guard lock(mutex_);
    if (state_ == LinkState::Updating) return update_.message;
    return ProWidget::StatusText(replyStatus_.load());
}

FirmwareProgress WidgetLink::UpdateProgress() const {
    std::lock_guard lock(mutex_);
    return update_;
}

void WidgetLink::Worker::Wait() {
    if (!saidWaiting) {
        link.Say("waiting for its widget");
        saidWaiting = true;
    }
    Pump(static_cast<int>(retryDelay.count()));
}

bool WidgetLink::Worker::Open(const std::string& path) {
    port.SetPath(path);
    try {
        port.SetPortOpen(true);
    } catch (const std::exception& failure) {
        if (!saidNoAnswer) link.Say(failure.what());
        saidNoAnswer = true;
        retryDelay = std::min(retryDelay * 2, kLongestRetry);
        return false;
    }
    frames.Reset();
    prowidget.SetReplyStatus(kStatusWaiting);
    link.replyStatus_ = kStatusWaiting;
    return true;
}

void WidgetLink::Worker::Run() {
    link.state_ = LinkState::Probing;
    if (!Probe()) {
        if (!saidNoAnswer) link.Say("no widget answers at " + port.Path() + "; trying again");
        saidNoAnswer = true;
        port.SetPortOpen(false);
        link.state_ = LinkState::Waiting;
        retryDelay = std::min(retryDelay * 2, kLongestRetry);
        return;
    }
    saidWaiting = false;
    saidNoAnswer = false;
    retryDelay = kLookEvery;
    const auto& parameters = prowidget.WidgetParameters;
    const Identities names = DeviceIdentities(port.Path());
    {
        std::lock_guard lock(link.mutex_);
        std::error_code unresolved;
        const std::filesystem::path device = std::filesystem::canonical(port.Path(), unresolved);
        link.devicePath_ = unresolved ? port.Path() : device.string();
        link.firmware_ =
            std::to_string(parameters.FirmwareMsb) + "." + std::to_string(parameters.FirmwareLsb);
        link.byIdName_ = ByIdNameOf(names);
        link.serialNumber_ = WidgetSerialNumber(names);
        if (link.serialNumber_.empty() && serialAnswered)
            link.serialNumber_ = SerialNumberText(*serialAnswered);
    }
    link.state_ = LinkState::Linked;
    link.Say("linked to the widget at " + link.DevicePath() + " (firmware " + link.Firmware() + ")");
    Serve();
}

bool WidgetLink::Worker::Probe() {
    try {
        port.ClearInBuffer();
    } catch (const std::exception&) {
    }
    parametersSeen = false;
    serialAnswered.reset();
    prowidget.SendGetParameters();
    // Asked at once too; a widget that never answers it is served all the same.
    try {
        port.Output(kSerialNumberRequest);
    } catch (const std::exception&) {
    }
    const auto deadline = Clock::now() + kProbeTimeout;
    while (!parametersSeen && !link.stopping_ && port.PortOpen() && Clock::now() < deadline)
        if (!Pump(MillisecondsUntil(deadline))) return false;
    return parametersSeen;
}

void WidgetLink::Worker::Serve() {
    {
        std::lock_guard line(link.lineMutex_);
        ApplyMode();
    }
    while (!link.stopping_ && port.PortOpen()) {
        std::optional<std::string> file;
        {
            std::lock_guard lock(link.mutex_);
            file = std::exchange(link.firmwareFile_, std::nullopt);
        }
        if (file) {
            CloseDirectLine();
            RunFirmwareUpdate(*file);
            return;
        }
        {
            std::lock_guard line(link.lineMutex_);
            FinishDirectTail();
            if (link.mode_.load() != appliedMode) ApplyMode();
            if (appliedMode == PortMode::Send) WriteLatestLevels();
            link.lineFd_ = appliedMode == PortMode::Send && port.PortOpen() ? port.Descriptor() : -1;
        }
        CountDrops();
        // The slice lets a partial frame go in time when nothing more comes.
        if (!Pump(frames.CarriedBytes() > 0 ? 20 : 1000)) break;
    }
    CloseDirectLine();
    if (!link.stopping_) Lose("its widget is gone");
}

void WidgetLink::Worker::CloseDirectLine() {
    std::lock_guard line(link.lineMutex_);
    link.lineFd_ = -1;
    link.directTail_.clear();
}

void WidgetLink::Worker::FinishDirectTail() {
    if (link.directTail_.empty()) return;
    try {
        port.Output(link.directTail_);
    } catch (const std::exception& failure) {
        link.Say(failure.what());
    }
    link.directTail_.clear();
}

void WidgetLink::Worker::ApplyMode() {
    appliedMode = link.mode_.load();
    if (appliedMode == PortMode::Receive) {
        prowidget.PrepareReceiveRequest();
        prowidget.SendOutputPacket();
        return;
    }
    prowidget.ResetOutputPacket(kLabelOutputDmx);
    if (const DmxFrame* written = link.latest_.Take()) {
        lastLevels = *written;
        haveLevels = true;
    }
    // A widget that comes back shows at once what it showed when it went.
    if (haveLevels) {
        std::copy(lastLevels.levels.begin(), lastLevels.levels.end(), prowidget.OutputPacket.Levels.begin());
        prowidget.SendOutputPacket();
        link.counters_.framesOut.fetch_add(1, std::memory_order_relaxed);
    }
}

void WidgetLink::Worker::WriteLatestLevels() {
    const DmxFrame* frame = link.output_.Take();
    if (!frame) return;
    std::copy(frame->levels.begin(), frame->levels.end(), prowidget.OutputPacket.Levels.begin());
    const std::uint64_t before = prowidget.OutputPacketsSent;
    prowidget.SendOutputPacket();
    if (prowidget.OutputPacketsSent != before)
        link.counters_.framesOut.fetch_add(1, std::memory_order_relaxed);
}

bool WidgetLink::Worker::Pump(int ms, bool takeInput) {
    pollfd watch[2] = {{link.wakeFd_, POLLIN, 0}, {port.Descriptor(), POLLIN, 0}};
    const nfds_t count = port.PortOpen() ? 2 : 1;
    if (::poll(watch, count, ms) < 0) return port.PortOpen();
    if (watch[0].revents & POLLIN) {
        std::uint64_t wakes = 0;
        [[maybe_unused]] auto read = ::read(link.wakeFd_, &wakes, sizeof wakes);
    }
    if (count < 2 || !takeInput) return port.PortOpen();
    try {
        bytes.clear();
        if (watch[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            // A read that fails closes the line: not while the other thread writes to it.
            std::lock_guard line(link.lineMutex_);
            link.lineFd_ = -1;
            port.ReadInput(bytes);
        }
        frames.Feed(bytes, Clock::now());
    } catch (const std::exception&) {
        port.SetPortOpen(false);
        return false;
    }
    return port.PortOpen();
}

void WidgetLink::Worker::TakeFrame(std::vector<std::uint8_t>& frame) {
    const std::int32_t label = prowidget.ParseWidgetReply(frame);
    link.replyStatus_ = prowidget.ReplyStatus;
    if (label == kLabelGetParameters) parametersSeen = true;
    if (label != kLabelSerialNumber) return;
    serialAnswered = SerialNumberIn(frame);
    std::lock_guard lock(link.mutex_);
    if (serialAnswered && link.serialNumber_.empty() && link.state_ != LinkState::Probing)
        link.serialNumber_ = SerialNumberText(*serialAnswered);
}

void WidgetLink::Worker::CountDrops() {
    const DroppedDmxReports& now = prowidget.DroppedReports;
    if (now == counted) return;
    link.counters_.faulty.fetch_add(now.faulty - counted.faulty, std::memory_order_relaxed);
    link.counters_.otherStartCode.fetch_add(now.notStartCodeZero - counted.notStartCodeZero,
                                            std::memory_order_relaxed);
    link.counters_.noLevels.fetch_add(now.noLevels - counted.noLevels, std::memory_order_relaxed);
    counted = now;
}

void WidgetLink::Worker::Lose(const std::string& why) {
    port.SetPortOpen(false);
    link.counters_.linkLosses.fetch_add(1, std::memory_order_relaxed);
    link.state_ = LinkState::Waiting;
    link.Say(why + "; waiting for it");
    saidWaiting = true;
}

void WidgetLink::Worker::RunFirmwareUpdate(const std::string& file) {
    link.state_ = LinkState::Updating;
    link.Say("updating the widget's firmware from " + file);
    shown.clear();
    const FirmwareAttempt outcome = ::UpdateFirmware(prowidget, *this, file);
    const bool updated = outcome == FirmwareAttempt::Updated;
    {
        std::lock_guard lock(link.mutex_);
        FirmwareProgress& update = link.update_;
        update.state = updated ? FirmwareProgress::State::Updated : FirmwareProgress::State::Failed;
        // A failure says why in its message box; the status text shows only the pages' marks then.
        if (!updated && !shown.empty()) update.message = shown;
    }
    link.Say(updated ? "firmware updated" : "firmware update failed: " + link.UpdateProgress().message);
    // The widget restarts into its new firmware: it is asked for its parameters again.
    port.SetPortOpen(false);
    link.state_ = LinkState::Waiting;
}
