#include "widget/firmware_update.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

// Data arrival and the time-out both wake the wait; the slice only bounds the wait should a platform not
// report serial input as an event.
constexpr int kReplyWaitSliceMs = 100;

class FirmwareFile {
public:
    explicit FirmwareFile(const std::string& path) : path_(path), stream_(path, std::ios::binary) {
        if (!stream_.is_open())
            throw std::runtime_error("Cannot open the firmware file " + path + ": " + std::strerror(errno));
    }

    bool AtEnd() { return stream_.peek() == std::ifstream::traits_type::eof() && !stream_.bad(); }

    // The next page in file order; what lies beyond the end of the file reads as zeros.
    void ReadPage(std::array<std::uint8_t, kFirmwarePageBytes>& page) {
        page.fill(0);
        stream_.read(reinterpret_cast<char*>(page.data()), static_cast<std::streamsize>(page.size()));
        if (stream_.bad()) throw std::runtime_error("Cannot read the firmware file " + path_ + ".");
        if (stream_.eof()) stream_.clear(std::ios::eofbit);
    }

private:
    std::string path_;
    std::ifstream stream_;
};

enum class PageOutcome { Accepted, Refused, TimedOut };

// The widget's answers to the pages of one attempt. An answer is a whole label-2 frame, however many reads it
// takes, and bytes that follow it in the same read belong to what comes next. Frames of other labels are set
// aside: the reply to the parameters request sent when the port was chosen, or the reports of a widget still
// in receive mode, may come before it. A parameters reply still fills its record.
class PageAnswers {
public:
    explicit PageAnswers(ProWidget& prowidget)
        : prowidget_(prowidget), frames_([this](std::vector<std::uint8_t>& frame) { Take(frame); }) {}

    // The widget answers the first page only after it has switched into its programmer, so the first wait
    // covers that switch too. A closed port throws from the count: the attempt ends at once.
    PageOutcome Await(FirmwareUpdateWindow& window) {
        SerialPort& port = prowidget_.Port();
        answer_.reset();
        window.StartReplyTimeout();
        while (!answer_) {
            if (!window.ReplyTimeoutRunning()) return PageOutcome::TimedOut;
            if (port.InBufferCount() > 0)
                frames_.Feed(port.Input(), window.Now());
            else
                window.WaitForEvents(kReplyWaitSliceMs);
        }
        return *answer_ ? PageOutcome::Accepted : PageOutcome::Refused;
    }

private:
    void Take(std::vector<std::uint8_t>& frame) {
        const std::uint8_t label = frame[1];
        if (label == kLabelGetParameters) prowidget_.ParseWidgetReply(frame);
        if (label != kLabelFlashPage || answer_) return;
        // The parser's 254 for "TRUE" is also the result of a reply labelled 254: only a label-2 answer
        // counts.
        answer_ = prowidget_.ParseWidgetReply(frame) == kPageAccepted;
    }

    ProWidget& prowidget_;
    std::optional<bool> answer_;
    FrameAssembler frames_;
};

void SendPage(ProWidget& prowidget, const std::array<std::uint8_t, kFirmwarePageBytes>& page) {
    FlashPageRequestRecord& request = prowidget.FlashPageRequest;
    request.StartDelimiter = kStartDelimiter;
    request.Label = kLabelFlashPage;
    request.DataLength = kFirmwarePageBytes;
    request.PageData = page;
    prowidget.SendFlashPage();
}

}  // namespace

bool UpdateFirmware(ProWidget& prowidget, FirmwareUpdateWindow& window, const std::string& path) {
    try {
        window.SetStatusText("Opening File");
        FirmwareFile file(path);
        window.SetStatusText("Enter BootStrap Programmer");
        prowidget.SendReprogramRequest();
        window.SetStatusText("");
        prowidget.Port().ClearInBuffer();
        if (file.AtEnd()) throw std::runtime_error(kEmptyFirmwareText);

        PageAnswers answers(prowidget);
        std::array<std::uint8_t, kFirmwarePageBytes> page{};
        for (int pageNumber = 1; pageNumber <= kFirmwarePages; ++pageNumber) {
            file.ReadPage(page);
            SendPage(prowidget, page);
            switch (answers.Await(window)) {
                case PageOutcome::TimedOut:
                    window.ShowMessage(kTimeoutText);
                    return false;
                case PageOutcome::Refused:
                    window.SetStatusText(window.StatusText() + "x");
                    return false;
                case PageOutcome::Accepted:
                    window.SetStatusText(window.StatusText() + ".");
                    break;
            }
        }
        window.ShowMessage(kFirmwareUpdatedText);
        window.SetStatusText(kFirmwareSuccessText);
        prowidget.Port().ClearInBuffer();
        return true;
    } catch (const std::exception& failure) {
        window.ShowMessage(failure.what());
        return false;
    }
}
