#include "platform/win32/win32_serial_port.h"

#include "platform/win32/text.h"

namespace {

constexpr int kLowestPort = 1;
constexpr int kHighestPort = 16;
const char* const kNotOpen = "Operation valid only when the port is open";

}  // namespace

Win32SerialPort::Win32SerialPort()
    : readDone_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      writeDone_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

Win32SerialPort::~Win32SerialPort() {
    Close();
    if (readDone_) CloseHandle(readDone_);
    if (writeDone_) CloseHandle(writeDone_);
}

std::wstring Win32SerialPort::DeviceNameOf(int port) {
    return L"\\\\.\\COM" + std::to_wstring(port);
}

void Win32SerialPort::SetCommPort(int port) {
    if (PortOpen()) throw SerialError("Port already open");
    if (port < kLowestPort || port > kHighestPort) throw SerialError("Invalid port number");
    commPort_ = port;
}

void Win32SerialPort::SetPortOpen(bool open) {
    if (!open) {
        Close();
        return;
    }
    if (PortOpen()) throw SerialError("Port already open");
    Open();
}

void Win32SerialPort::Open() {
    const std::wstring device = DeviceNameOf(commPort_);
    const HANDLE handle = CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        throw SerialError("Port " + std::to_string(commPort_) + " (" + Narrow(device) +
                          "): " + SystemErrorText(GetLastError()));
    handle_ = handle;
    DCB line{};
    line.DCBlength = sizeof line;
    COMMTIMEOUTS timeouts{};
    // Reads return at once with whatever is waiting; writes are bounded by Output's own wait.
    timeouts.ReadIntervalTimeout = MAXDWORD;
    bool ready = GetCommState(handle_, &line);
    if (ready) {
        line.BaudRate = kLineBaud;
        line.ByteSize = 8;
        line.Parity = NOPARITY;
        line.StopBits = ONESTOPBIT;
        line.fBinary = TRUE;
        line.fParity = FALSE;
        line.fOutxCtsFlow = FALSE;
        line.fOutxDsrFlow = FALSE;
        line.fDtrControl = DTR_CONTROL_ENABLE;
        line.fDsrSensitivity = FALSE;
        line.fOutX = FALSE;
        line.fInX = FALSE;
        line.fNull = FALSE;
        line.fRtsControl = RTS_CONTROL_ENABLE;
        line.fAbortOnError = FALSE;
        ready = SetCommState(handle_, &line) && SetCommTimeouts(handle_, &timeouts) &&
                PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR);
    }
    if (!ready) {
        const DWORD error = GetLastError();
        Close();
        throw SerialError("Port " + std::to_string(commPort_) + ": " + SystemErrorText(error));
    }
}

void Win32SerialPort::Close() {
    if (!PortOpen()) return;
    CancelIo(handle_);
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

void Win32SerialPort::FailAndClose(const std::string& description) {
    // A device that failed a write is gone or broken: closing it keeps the output pump quiet until the user
    // chooses the port again, and what it did not take goes with it.
    PurgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR);
    Close();
    throw SerialError(description);
}

int Win32SerialPort::InBufferCount() {
    if (!PortOpen()) throw SerialError(kNotOpen);
    DWORD errors = 0;
    COMSTAT status{};
    // The device went away (unplugged): closing the port lets the window learn of it.
    if (!ClearCommError(handle_, &errors, &status)) FailAndClose(SystemErrorText(GetLastError()));
    return static_cast<int>(status.cbInQue);
}

void Win32SerialPort::ClearInBuffer() {
    if (!PortOpen()) throw SerialError(kNotOpen);
    PurgeComm(handle_, PURGE_RXCLEAR);
}

std::vector<std::uint8_t> Win32SerialPort::Input() {
    if (!PortOpen()) throw SerialError(kNotOpen);
    std::vector<std::uint8_t> bytes;
    // The count can grow while we read; read until a read brings nothing more.
    for (int waiting = InBufferCount(); waiting > 0; waiting = InBufferCount()) {
        const std::size_t start = bytes.size();
        bytes.resize(start + static_cast<std::size_t>(waiting));
        OVERLAPPED request{};
        request.hEvent = readDone_;
        ResetEvent(readDone_);
        DWORD got = 0;
        if (!ReadFile(handle_, bytes.data() + start, static_cast<DWORD>(waiting), &got, &request)) {
            // With reads set to return at once, a pending read completes without waiting for more input.
            if (GetLastError() != ERROR_IO_PENDING || !GetOverlappedResult(handle_, &request, &got, TRUE))
                FailAndClose(SystemErrorText(GetLastError()));
        }
        bytes.resize(start + got);
        if (got == 0) break;
    }
    return bytes;
}

void Win32SerialPort::Output(std::span<const std::uint8_t> bytes) {
    if (!PortOpen()) throw SerialError(kNotOpen);
    if (bytes.empty()) return;
    OVERLAPPED request{};
    request.hEvent = writeDone_;
    ResetEvent(writeDone_);
    const auto size = static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(handle_, bytes.data(), size, &written, &request)) {
        if (GetLastError() != ERROR_IO_PENDING) FailAndClose(SystemErrorText(GetLastError()));
        if (WaitForSingleObject(writeDone_, kWriteTimeoutMs) != WAIT_OBJECT_0) {
            // Drop what the device did not take, so that a stalled device cannot pile frames up.
            CancelIo(handle_);
            GetOverlappedResult(handle_, &request, &written, TRUE);
            FailAndClose("Write timed out");
        }
        if (!GetOverlappedResult(handle_, &request, &written, FALSE))
            FailAndClose(SystemErrorText(GetLastError()));
    }
    // Without write time-outs a completed write has taken every byte. Wine has been seen to report 0 bytes
    // for a write that delivered them all, so only a count that is short but not 0 means bytes were lost.
    if (written != 0 && written != size)
        FailAndClose("Wrote " + std::to_string(written) + " of " + std::to_string(size) + " bytes");
}
