#pragma once

#include <string>

#include "platform/win32/win32_headers.h"
#include "widget/serial_port.h"

// The serial port control on Windows: port n is \\.\COMn, at 128000 baud, 8 data bits, no parity, 1 stop
// bit, no flow control. Reads return at once with what is waiting. A write waits at most kWriteTimeoutMs for
// the device; a failed or timed-out write, or a device found gone, closes the port.
class Win32SerialPort : public SerialPort {
public:
    static constexpr DWORD kLineBaud = 128000;
    static constexpr DWORD kWriteTimeoutMs = 500;

    Win32SerialPort();
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;
    ~Win32SerialPort() override;

    int CommPort() const override { return commPort_; }
    void SetCommPort(int port) override;
    bool PortOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }
    void SetPortOpen(bool open) override;
    int InBufferCount() override;
    void ClearInBuffer() override;
    std::vector<std::uint8_t> Input() override;
    void Output(std::span<const std::uint8_t> bytes) override;

    // The device name that a port number stands for: 1 is \\.\COM1.
    static std::wstring DeviceNameOf(int port);

private:
    void Open();
    void Close();
    [[noreturn]] void FailAndClose(const std::string& description);

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    // Signalled when an overlapped read or write completes.
    HANDLE readDone_ = nullptr;
    HANDLE writeDone_ = nullptr;
    int commPort_ = 1;
};
