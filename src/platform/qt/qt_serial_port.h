#pragma once

#include <QSerialPort>
#include <string>

#include "widget/serial_port.h"

// The serial port control over QSerialPort: 128000 baud, 8 data bits, no parity, 1 stop bit, no flow control.
// Port numbers map to devices by SerialPortPaths, looked up afresh at every open so that a device plugged in
// later is found.
class QtSerialPort : public SerialPort {
public:
    static constexpr int kLineBaud = 128000;
    // How long one Output may wait for the device to take the bytes; past it the write fails and the port
    // closes.
    static constexpr int kWriteTimeoutMs = 500;

    QtSerialPort();

    int CommPort() const override { return commPort_; }
    void SetCommPort(int port) override;
    bool PortOpen() const override { return port_.isOpen(); }
    void SetPortOpen(bool open) override;
    int InBufferCount() override;
    void ClearInBuffer() override;
    std::vector<std::uint8_t> Input() override;
    void ReadInput(std::vector<std::uint8_t>& bytes) override;
    void Output(std::span<const std::uint8_t> bytes) override;
    bool NotifiesInput() const override { return true; }

    // The device path that a port number names now ("" when none).
    static std::string DevicePathOf(int port);

private:
    void PullWaitingBytes();
    void AnnounceInput();
    // Writes straight to the device when Qt holds nothing unwritten; returns how many bytes it took.
    std::size_t WriteDirect(std::span<const std::uint8_t> bytes);
    [[noreturn]] void FailAndClose(const QString& description);

    QSerialPort port_;
    int commPort_ = 1;
    // Bytes that PullWaitingBytes brings in belong to its caller; announcing them would let the receive
    // poll take a reply that the port scan is waiting for.
    bool pulling_ = false;
    bool announcing_ = false;
    bool readWhileAnnouncing_ = false;
};
