#include "widget/prowidget.h"

#include <algorithm>
#include <cstring>
#include <exception>

ProWidget::ProWidget(SerialPort& port, MessageBox& messageBox) : port_(port), messageBox_(messageBox) {}

void ProWidget::ReportFailure(const std::string& description) {
    if (messageBox_.IsOpen()) return;
    messageBox_.Show(description);
}

void ProWidget::SetDmxForwarder(std::function<bool()> inReceiveMode, ForwardDmxFn forward) {
    inReceiveMode_ = std::move(inReceiveMode);
    forwardDmx_ = std::move(forward);
}

void ProWidget::InitWidgetPackets() {
    SetReplyStatus(kStatusWaiting);
    ResetOutputPacket(kLabelOutputDmx);
    std::int16_t length = 0;
    InitGetParametersRequest(length);
    length = 0;
    InitSetParametersRequest(length);
}

void ProWidget::ResetOutputPacket(std::uint8_t label) {
    OutputPacket.StartDelimiter = kStartDelimiter;
    OutputPacket.Label = label;
    OutputPacket.DataLength = kLevelCount;
    OutputPacket.Levels.fill(0);
}

void ProWidget::PrepareReceiveRequest() {
    ResetOutputPacket(kLabelReceiveMode);
}

void ProWidget::InitGetParametersRequest(std::int16_t& length) {
    if (length > static_cast<std::int16_t>(kMaxUserConfigLength)) length = kMaxUserConfigLength;
    GetParametersRequest.StartDelimiter = kStartDelimiter;
    GetParametersRequest.Label = kLabelGetParameters;
    GetParametersRequest.DataLength = 2;
    GetParametersRequest.UserConfigLength = static_cast<std::uint16_t>(length);
}

void ProWidget::InitSetParametersRequest(std::int16_t& length) {
    if (length > static_cast<std::int16_t>(kMaxUserConfigLength)) length = kMaxUserConfigLength;
    SetParametersRequest.StartDelimiter = kStartDelimiter;
    SetParametersRequest.Label = kLabelSetParameters;
    SetParametersRequest.DataLength = 5;
    SetParametersRequest.BreakTime = 9;
    SetParametersRequest.MABTime = 1;
    SetParametersRequest.FrameRate = 40;
    SetParametersRequest.UserConfigLength = static_cast<std::uint16_t>(length);
}

template <typename Record>
bool ProWidget::SendRecord(const Record& record, std::size_t byteCount) {
    try {
        std::array<std::uint8_t, sizeof(Record) + 1> bytes;
        std::memcpy(bytes.data(), &record, byteCount);
        bytes[byteCount] = kEndDelimiter;
        port_.Output(std::span<const std::uint8_t>(bytes.data(), byteCount + 1));
        return true;
    } catch (const std::exception& failure) {
        ReportFailure(failure.what());
        if (sendFailed_) sendFailed_();
        return false;
    }
}

void ProWidget::SendOutputPacket() {
    bool open = false;
    try {
        open = port_.PortOpen();
    } catch (const std::exception& failure) {
        ReportFailure(failure.what());
        return;
    }
    if (open && SendRecord(OutputPacket, 517)) ++OutputPacketsSent;
}

void ProWidget::SendSetParameters() {
    SendRecord(SetParametersRequest, 9);
}
void ProWidget::SendGetParameters() {
    SendRecord(GetParametersRequest, 6);
}

void ProWidget::SendReprogramRequest() {
    MessageHeader = {kStartDelimiter, kLabelReprogram, 0};
    SendRecord(MessageHeader, 4);
}

void ProWidget::SendFlashPage() {
    SendRecord(FlashPageRequest, 68);
}
