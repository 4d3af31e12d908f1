#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "stuff/dmx_output.h"
#include "stuff/message_box.h"
#include "widget/frame_assembler.h"
#include "widget/records.h"
#include "widget/serial_port.h"

inline constexpr std::uint8_t kStatusReady = 0;
inline constexpr std::uint8_t kStatusNotValid = 1;
inline constexpr std::uint8_t kStatusTooShort = 2;
inline constexpr std::uint8_t kStatusBadLength = 3;
inline constexpr std::uint8_t kStatusPageFailed = 4;
inline constexpr std::uint8_t kStatusLengthMismatch = 5;
inline constexpr std::uint8_t kStatusWaiting = 255;

// Received-DMX reports that were not taken as levels, by reason, counted from load. None of them is
// forwarded.
struct DroppedDmxReports {
    std::uint64_t faulty = 0;            // the widget flagged the frame: its receive status is not 0
    std::uint64_t notStartCodeZero = 0;  // RDM (0xCC) or another alternate start code
    std::uint64_t noLevels = 0;          // the report ends before its first level
    bool operator==(const DroppedDmxReports&) const = default;
};

// The widget module: its records, exactly one of each per loaded plug-in, and the procedures over them.
class ProWidget : public DmxOutput {
public:
    // Received DMX leaves through this in receive mode (the window points it at the Art-Net sender).
    using ForwardDmxFn = std::function<void(std::span<const std::uint8_t, kLevelCount> levels)>;

    ProWidget(SerialPort& port, MessageBox& messageBox);

    MessageHeaderRecord MessageHeader{};
    OutputPacketRecord OutputPacket{};
    GetParametersRequestRecord GetParametersRequest{};
    SetParametersRequestRecord SetParametersRequest{};
    WidgetParametersRecord WidgetParameters{};
    ReceivedDmxRecord ReceivedDmx{};
    FlashPageRequestRecord FlashPageRequest{};
    FlashReplyRecord FlashReply{};
    std::uint8_t ReplyStatus = 0;
    // Output packets the port took, for a host's status display.
    std::uint64_t OutputPacketsSent = 0;
    DroppedDmxReports DroppedReports;

    void InitWidgetPackets();
    void ResetOutputPacket(std::uint8_t label);
    void PrepareReceiveRequest();
    void InitGetParametersRequest(std::int16_t& length);
    void InitSetParametersRequest(std::int16_t& length);

    void SendOutputPacket() override;
    void SendSetParameters();
    void SendGetParameters();
    void SendReprogramRequest();
    void SendFlashPage();

    // Parses one framed reply out of text (trimmed in place) and returns its result code.
    std::int32_t ParseWidgetReply(std::vector<std::uint8_t>& text);
    void SetReplyStatus(std::uint8_t code) { ReplyStatus = code; }
    // What the status shows for bytes that the frame assembler could not hand on as a frame.
    void RecordFrameFault(FrameFault fault);
    // The slots after the start code that the stored DMX report carried (0 to 512).
    std::size_t ReceivedSlotCount() const;
    static std::string StatusText(std::uint8_t code);

    // Called with the received levels for every good start code 0 report while the bridge is in receive mode.
    // A short report leaves the levels after its own in the record as an earlier report left them:
    // ReceivedSlotCount says how many it carried.
    void SetDmxForwarder(std::function<bool()> inReceiveMode, ForwardDmxFn forward);
    // Called after a sender's failure has been reported. The serial control closes the port itself after
    // some failures (a write the device did not take, a vanished device), and the window must learn of it.
    void SetSendFailureHandler(std::function<void()> handler) { sendFailed_ = std::move(handler); }

    std::span<std::uint8_t, kLevelCount> OutputLevels() override { return OutputPacket.Levels; }
    SerialPort& Port() { return port_; }

    // Shows a failure's description, unless a failure box is already open: a failing write repeated by the
    // 20 ms pump must not stack up boxes.
    void ReportFailure(const std::string& description);

private:
    void TakeReceivedDmx(const std::vector<std::uint8_t>& frame);
    // False when the port refused the bytes (the failure has been shown).
    template <typename Record>
    bool SendRecord(const Record& record, std::size_t byteCount);

    SerialPort& port_;
    MessageBox& messageBox_;
    std::function<bool()> inReceiveMode_;
    ForwardDmxFn forwardDmx_;
    std::function<void()> sendFailed_;
};
