#pragma once

#include <mutex>
#include <string>
#include <thread>

#include "platform/win32/message_window.h"
#include "platform/win32/win32_headers.h"
#include "widget/serial_port.h"

// The serial port control on Windows: port n is \\.\COMn, at 128000 baud, 8 data bits, no parity, 1 stop
// bit, no flow control. A write waits at most kWriteTimeoutMs for the device; a failed or timed-out write, or
// a device found gone, closes the port.
//
// While the port is open a reader thread keeps one read pending, which completes as soon as a byte arrives,
// and hands what it read to the window's thread as a posted message that raises InputArrived; the bytes wait
// in the port until the window's thread takes them. The thread touches nothing else, so nothing asks the
// device for input on a clock. A device that goes away fails that read, which raises InputArrived too.
class Win32SerialPort : public SerialPort {
public:
    static constexpr DWORD kLineBaud = 128000;
    static constexpr DWORD kWriteTimeoutMs = 500;
    // What the reader holds at most for the window's thread; beyond it the device's own queue fills.
    static constexpr std::size_t kMostHeld = 64 * 1024;

    explicit Win32SerialPort(MessageWindow& window);
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
    void ReadInput(std::vector<std::uint8_t>& bytes) override;
    void Output(std::span<const std::uint8_t> bytes) override;
    bool NotifiesInput() const override { return true; }

    // The device name that a port number stands for: 1 is \\.\COM1.
    static std::wstring DeviceNameOf(int port);

private:
    void Open();
    void Close();
    [[noreturn]] void FailAndClose(const std::string& description);
    void Read();
    void Announce();

    HWND window_;
    UINT message_ = 0;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    // Signalled when an overlapped read or write completes, when the reader is to stop, and when the window's
    // thread has taken what the reader held.
    HANDLE readDone_ = nullptr;
    HANDLE writeDone_ = nullptr;
    HANDLE stop_ = nullptr;
    HANDLE taken_ = nullptr;
    int commPort_ = 1;
    std::thread reader_;
    bool announcing_ = false;
    bool readWhileAnnouncing_ = false;

    // Shared with the reader, under the lock.
    std::mutex lock_;
    std::vector<std::uint8_t> held_;
    std::string failure_;  // why the device's read failed, "" while it works
    bool posted_ = false;
};
