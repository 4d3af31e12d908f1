#pragma once

#include <string>

#include "widget/serial_port.h"

// A widget's serial device opened by path, for a port's own link thread: plain non-blocking descriptor
// reads, writes that wait at most kWriteTimeoutMs, and the descriptor for poll(). The port number of the
// window's control has no meaning here; the path names the device.
class TtyPort : public SerialPort {
public:
    static constexpr int kWriteTimeoutMs = 500;

    TtyPort() = default;
    ~TtyPort() override;
    TtyPort(const TtyPort&) = delete;
    TtyPort& operator=(const TtyPort&) = delete;

    void SetPath(std::string path) { path_ = std::move(path); }
    const std::string& Path() const { return path_; }
    int Descriptor() const { return fd_; }

    int CommPort() const override { return 1; }
    void SetCommPort(int) override {}
    bool PortOpen() const override { return fd_ >= 0; }
    void SetPortOpen(bool open) override;
    int InBufferCount() override;
    void ClearInBuffer() override;
    std::vector<std::uint8_t> Input() override;
    void ReadInput(std::vector<std::uint8_t>& bytes) override;
    void Output(std::span<const std::uint8_t> bytes) override;
    bool NotifiesInput() const override { return true; }

private:
    [[noreturn]] void Fail(const std::string& what, int error);
    void Close();

    std::string path_;
    int fd_ = -1;
};
