#include "widget/firmware_update.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace {

using std::chrono::milliseconds;

// Data arrival and the time-out both wake the wait; the slice only bounds the wait should a platform not
// report serial input as an event.
constexpr int kReplyWaitSliceMs = 100;
// The shortest drain after the last page, for a link whose answers take about a millisecond: longer than the
// 16 ms a USB serial adapter may hold back bytes it already has, so an answer held back once more than any
// before it is still seen.
constexpr milliseconds kMinDrain{20};

// A file that can only fail the same way again: no widget is sent into its programmer for it.
class UnusableFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class FirmwareFile {
public:
    // Every test of the file comes before the widget is touched. The path is UTF-8, as every text of the
    // system; made a path from that, it opens on every platform.
    explicit FirmwareFile(const std::string& path)
        : path_(path), name_(std::u8string(path.begin(), path.end())) {
        std::error_code unknown;
        if (std::filesystem::is_directory(name_, unknown)) Refuse(std::strerror(EISDIR));
        stream_.open(name_, std::ios::binary);
        if (!stream_.is_open()) Refuse(std::strerror(errno));
        if (stream_.peek() == std::ifstream::traits_type::eof()) {
            if (stream_.bad()) Refuse(std::strerror(errno));
            throw UnusableFileError(kEmptyFirmwareText);
        }
    }

    // The size when the file is longer than one image, for the note that the rest is never sent.
    std::optional<std::uintmax_t> LengthBeyondImage() const {
        std::error_code unknown;
        const std::uintmax_t size = std::filesystem::file_size(name_, unknown);
        if (unknown || size <= kFirmwareImageBytes) return std::nullopt;
        return size;
    }

    // The next page in file order; what lies beyond the end of the file reads as zeros.
    void ReadPage(std::array<std::uint8_t, kFirmwarePageBytes>& page) {
        page.fill(0);
        stream_.read(reinterpret_cast<char*>(page.data()), static_cast<std::streamsize>(page.size()));
        if (stream_.bad()) throw std::runtime_error("Cannot read the firmware file " + path_ + ".");
        if (stream_.eof()) stream_.clear(std::ios::eofbit);
    }

private:
    [[noreturn]] void Refuse(const std::string& reason) const {
        throw UnusableFileError("Cannot open the firmware file " + path_ + ": " + reason);
    }

    std::string path_;
    std::filesystem::path name_;
    std::ifstream stream_;
};

void SendPage(ProWidget& prowidget, const std::array<std::uint8_t, kFirmwarePageBytes>& page) {
    FlashPageRequestRecord& request = prowidget.FlashPageRequest;
    request.StartDelimiter = kStartDelimiter;
    request.Label = kLabelFlashPage;
    request.DataLength = kFirmwarePageBytes;
    request.PageData = page;
    prowidget.SendFlashPage();
}

enum class PageOutcome { Accepted, Refused, TimedOut };

// The pages of one attempt and the widget's answers to them. Answers carry no page number, so they are
// matched to the pages one to one in the order both go: one answer too many would shift every later answer
// onto the wrong page, and a refusal could hide behind it. So every label-2 answer counts, and the attempt
// fails on any answer that is not "TRUE" and on any answer for which no page is waiting. An answer is a
// whole label-2 frame, however many reads it takes. Frames of other labels are set aside: the reply to the
// parameters request sent when the port was chosen, or the reports of a widget still in receive mode, may
// come first. A parameters reply still fills its record.
class PageAnswers {
public:
    PageAnswers(ProWidget& prowidget, FirmwareUpdateWindow& window)
        : prowidget_(prowidget),
          window_(window),
          frames_([this](std::vector<std::uint8_t>& frame) { Take(frame); }) {}

    // Sends the page and waits for its answer. What is already waiting is read first: an answer there came
    // before its page went out. The widget answers the first page only after it has switched into its
    // programmer, so the first wait covers that switch too. A closed port throws from the count: the attempt
    // ends at once.
    PageOutcome Flash(const std::array<std::uint8_t, kFirmwarePageBytes>& page) {
        TakeWaiting();
        if (refused_) return PageOutcome::Refused;
        SendPage(prowidget_, page);
        ++sent_;
        const auto sentAt = window_.Now();
        window_.StartReplyTimeout();
        while (!refused_ && answered_ < sent_) {
            if (!window_.ReplyTimeoutRunning()) return PageOutcome::TimedOut;
            if (!TakeWaiting()) window_.WaitForEvents(kReplyWaitSliceMs);
        }
        if (refused_) return PageOutcome::Refused;
        if (sent_ > 1) slowest_ = std::max(slowest_, window_.Now() - sentAt);
        return PageOutcome::Accepted;
    }

    // After the last page, true when no answer is still to come. One answer too many would leave the last
    // page's own answer about one answer time behind the one counted for it, so the drain lasts twice the
    // slowest answer after the first (whose wait also covered the switch into the programmer); at least
    // kMinDrain, at most the reply time-out, past which no answer is waited for.
    bool Drain() {
        const auto drain = std::clamp<FrameAssembler::TimePoint::duration>(2 * slowest_, kMinDrain,
                                                                           milliseconds(kReplyTimeoutMs));
        const auto until = window_.Now() + drain;
        // The clock is read after every read, so a stream of other frames cannot hold the drain open.
        while (true) {
            const bool took = TakeWaiting();
            const auto left = std::chrono::ceil<milliseconds>(until - window_.Now());
            if (refused_ || left.count() <= 0) return !refused_;
            if (!took) window_.WaitForEvents(static_cast<int>(left.count()));
        }
    }

private:
    bool TakeWaiting() {
        SerialPort& port = prowidget_.Port();
        if (port.InBufferCount() <= 0) return false;
        frames_.Feed(port.Input(), window_.Now());
        return true;
    }

    void Take(std::vector<std::uint8_t>& frame) {
        const std::uint8_t label = frame[1];
        if (label == kLabelGetParameters) prowidget_.ParseWidgetReply(frame);
        if (label != kLabelFlashPage) return;
        // The parser's 254 for "TRUE" is also the result of a reply labelled 254: only a label-2 answer
        // counts.
        const bool written = prowidget_.ParseWidgetReply(frame) == kPageAccepted;
        if (!written || answered_ == sent_)
            refused_ = true;
        else
            ++answered_;
    }

    ProWidget& prowidget_;
    FirmwareUpdateWindow& window_;
    FrameAssembler frames_;
    int sent_ = 0;
    int answered_ = 0;
    bool refused_ = false;
    FrameAssembler::TimePoint::duration slowest_{};
};

}  // namespace

FirmwareAttempt UpdateFirmware(ProWidget& prowidget, FirmwareUpdateWindow& window, const std::string& path) {
    try {
        window.SetStatusText("Opening File");
        FirmwareFile file(path);
        if (const auto size = file.LengthBeyondImage())
            window.Log(path + " is " + std::to_string(*size) + " bytes; only the first " +
                       std::to_string(kFirmwareImageBytes) + " are written");
        window.SetStatusText("Enter BootStrap Programmer");
        prowidget.SendReprogramRequest();
        window.SetStatusText("");
        prowidget.Port().ClearInBuffer();

        PageAnswers answers(prowidget, window);
        std::array<std::uint8_t, kFirmwarePageBytes> page{};
        for (int pageNumber = 1; pageNumber <= kFirmwarePages; ++pageNumber) {
            file.ReadPage(page);
            switch (answers.Flash(page)) {
                case PageOutcome::TimedOut:
                    window.ShowMessage(kTimeoutText);
                    return FirmwareAttempt::Failed;
                case PageOutcome::Refused:
                    window.SetStatusText(window.StatusText() + "x");
                    return FirmwareAttempt::Failed;
                case PageOutcome::Accepted:
                    window.SetStatusText(window.StatusText() + ".");
                    break;
            }
        }
        if (!answers.Drain()) {
            window.SetStatusText(window.StatusText() + "x");
            return FirmwareAttempt::Failed;
        }
        window.ShowMessage(kFirmwareUpdatedText);
        window.SetStatusText(kFirmwareSuccessText);
        prowidget.Port().ClearInBuffer();
        return FirmwareAttempt::Updated;
    } catch (const UnusableFileError& unusable) {
        window.ShowMessage(unusable.what());
        return FirmwareAttempt::UnusableFile;
    } catch (const std::exception& failure) {
        window.ShowMessage(failure.what());
        return FirmwareAttempt::Failed;
    }
}
