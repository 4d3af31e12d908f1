#include <algorithm>
#include <cstddef>
#include <cstring>
#include <exception>

#include "widget/prowidget.h"
#include "widget/reply_results.h"

namespace {

// Copies the frame without its end delimiter into the record, never past the record's end; bytes beyond what
// arrived keep their older values.
template <typename Record>
void CopyReply(const std::vector<std::uint8_t>& frame, Record& record) {
    const std::size_t count = std::min(frame.size() - 1, sizeof(Record));
    std::memcpy(&record, frame.data(), count);
}

}  // namespace

std::int32_t ProWidget::ParseWidgetReply(std::vector<std::uint8_t>& text) {
    std::int32_t result = 0;
    try {
        SetReplyStatus(kStatusReady);

        const auto start = std::find(text.begin(), text.end(), kStartDelimiter);
        const bool startFound = start != text.end();
        if (startFound) text.erase(text.begin(), start);

        if (text.size() < 4) {
            SetReplyStatus(kStatusTooShort);
            return kReplyTooShort;
        }
        std::memcpy(&MessageHeader, text.data(), sizeof MessageHeader);
        if (!startFound) return kReplyNoStart;
        const std::size_t dataLength = MessageHeader.DataLength;
        if (dataLength > kMaxReplyDataLength) {
            SetReplyStatus(kStatusBadLength);
            return kReplyBadLength;
        }
        // The frame ends where its length says: a data byte of 0xE7 is data, not the end.
        const std::size_t endAt = 4 + dataLength;
        if (text.size() <= endAt) {
            SetReplyStatus(kStatusLengthMismatch);
            return kReplyDataMissing;
        }
        if (text[endAt] != kEndDelimiter) {
            SetReplyStatus(kStatusNotValid);
            return kReplyBadEnd;
        }
        text.resize(endAt + 1);

        result = MessageHeader.Label;
        switch (MessageHeader.Label) {
            case kLabelFlashPage: {
                CopyReply(text, FlashReply);
                // Judged on the bytes that came: a short answer must not pass on a previous page's "TRUE".
                auto answerAt = [&](std::size_t i) {
                    return i < dataLength ? static_cast<char>(text[4 + i]) : '\0';
                };
                if (answerAt(0) == 'T') {
                    if (answerAt(1) == 'R' && answerAt(2) == 'U' && answerAt(3) == 'E')
                        result = kReplyPageWritten;
                } else {
                    SetReplyStatus(kStatusPageFailed);
                    result = kReplyPageRefused;
                }
                break;
            }
            case kLabelGetParameters:
                CopyReply(text, WidgetParameters);
                break;
            case kLabelReceivedDmx:
                TakeReceivedDmx(text);
                break;
            default:
                break;
        }
    } catch (const std::exception& failure) {
        ReportFailure(failure.what());
    }
    return result;
}

// Art-Net carries start code 0 levels only, so nothing else is forwarded: receivers hold the last good frame.
// A faulty frame is stored, since the monitor tells of it; a report of no levels or of another start code is
// not, so that the monitor keeps the levels it shows.
void ProWidget::TakeReceivedDmx(const std::vector<std::uint8_t>& frame) {
    constexpr std::size_t kStatusAt = offsetof(ReceivedDmxRecord, ReceiveStatus);
    constexpr std::size_t kStartCodeAt = offsetof(ReceivedDmxRecord, Levels);
    const std::size_t endAt = frame.size() - 1;
    if (endAt > kStatusAt && frame[kStatusAt] != 0) {
        CopyReply(frame, ReceivedDmx);
        ++DroppedReports.faulty;
        return;
    }
    if (endAt <= kStartCodeAt + 1) {
        ++DroppedReports.noLevels;
        return;
    }
    if (frame[kStartCodeAt] != 0) {
        ++DroppedReports.notStartCodeZero;
        return;
    }
    CopyReply(frame, ReceivedDmx);
    if (inReceiveMode_ && forwardDmx_ && inReceiveMode_()) forwardDmx_(ReceivedDmx.Levels);
}

// The report's data length counts its receive status and start code before the slots.
std::size_t ProWidget::ReceivedSlotCount() const {
    const std::size_t length = std::min<std::size_t>(ReceivedDmx.DataLength, 1 + kLevelCount);
    return length < 2 ? 0 : length - 2;
}

void ProWidget::RecordFrameFault(FrameFault fault) {
    switch (fault) {
        case FrameFault::BadLength:
            SetReplyStatus(kStatusBadLength);
            break;
        case FrameFault::BadEnd:
            SetReplyStatus(kStatusNotValid);
            break;
        case FrameFault::Incomplete:
            SetReplyStatus(kStatusLengthMismatch);
            break;
    }
}

std::string ProWidget::StatusText(std::uint8_t code) {
    switch (code) {
        case kStatusNotValid:
            return "Not Valid Packet, Recieved data seems invalid";
        case kStatusTooShort:
            return "Packet length is too short";
        case kStatusBadLength:
            return "The packet specified an invalid data field length";
        case kStatusPageFailed:
            return "Failed to flash firmware page";
        case kStatusLengthMismatch:
            return "The data length did not match the actual size in the packet";
        case kStatusWaiting:
            return "Waiting...";
        case kStatusReady:
            return "Ready";
        default:
            return "Unknown Error";
    }
}
