#include "node/widget_probe.h"

#include <poll.h>

#include <array>
#include <cstdio>
#include <exception>
#include <vector>

#include "node/tty_port.h"
#include "widget/frame_assembler.h"
#include "widget/records.h"

namespace {

// The parameters without user bytes, then the serial number.
constexpr std::array<std::uint8_t, 12> kQuestions = {
    kStartDelimiter,
    kLabelGetParameters,
    2,
    0,
    0,
    0,
    kEndDelimiter,
    kStartDelimiter,
    kLabelSerialNumber,
    0,
    0,
    kEndDelimiter,
};

}  // namespace

std::optional<std::uint32_t> SerialNumberIn(std::span<const std::uint8_t> frame) {
    if (frame.size() < 9 || frame[1] != kLabelSerialNumber) return std::nullopt;
    return static_cast<std::uint32_t>(frame[4] | frame[5] << 8 | frame[6] << 16 |
                                      static_cast<std::uint32_t>(frame[7]) << 24);
}

std::string SerialNumberText(std::uint32_t serial) {
    char text[16];
    std::snprintf(text, sizeof text, "%08u", serial);
    return text;
}

std::optional<WidgetFacts> ProbeWidget(const std::string& path, std::chrono::milliseconds timeout) {
    TtyPort port;
    port.SetPath(path);
    WidgetFacts facts;
    bool answered = false, serialAnswered = false;
    FrameAssembler frames([&](std::vector<std::uint8_t>& frame) {
        // frame: start, label, length (2), data, end
        const std::size_t length = frame.size() - 5;
        if (frame[1] == kLabelGetParameters && length >= 2) {
            facts.firmware = std::to_string(frame[5]) + "." + std::to_string(frame[4]);
            answered = true;
        } else if (const auto serial = SerialNumberIn(frame)) {
            facts.serialNumber = serial;
            serialAnswered = true;
        }
    });
    try {
        port.SetPortOpen(true);
        port.ClearInBuffer();
        port.Output(kQuestions);
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::vector<std::uint8_t> bytes;
        while (!(answered && serialAnswered)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd watch{port.Descriptor(), POLLIN, 0};
            ::poll(&watch, 1, static_cast<int>(left.count()));
            port.ReadInput(bytes);
            frames.Feed(bytes, std::chrono::steady_clock::now());
        }
    } catch (const std::exception&) {
    }
    if (!answered) return std::nullopt;
    return facts;
}
