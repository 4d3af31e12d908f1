#include "platform/win32/win32_serial_port.h"

#include <algorithm>

#include "platform/win32/text.h"
#include "stuff/scoped_flag.h"

namespace {

constexpr int kLowestPort = 1;
constexpr int kHighestPort = 16;
const char* const kNotOpen = "Operation valid only when the port is open";
constexpr DWORD kReadChunk = 4096;

}  // namespace

Win32SerialPort::Win32SerialPort(MessageWindow& window)
    : window_(window.Handle()),
      readDone_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      writeDone_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      taken_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    message_ = window.AddHandler([this](WPARAM, LPARAM) { Announce(); });
}

Win32SerialPort::~Win32SerialPort() {
    Close();
    for (HANDLE event : {readDone_, writeDone_, stop_, taken_})
        if (event) CloseHandle(event);
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
    // No time-outs: a read waits for all it asks for, which the reader keeps to what is there or one byte;
    // writes are bounded by Output's own wait.
    COMMTIMEOUTS timeouts{};
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
    ResetEvent(stop_);
    reader_ = std::thread([this] { Read(); });
}

void Win32SerialPort::Close() {
    if (!PortOpen()) return;
    SetEvent(stop_);
    if (reader_.joinable()) reader_.join();
    CancelIo(handle_);
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    const std::lock_guard<std::mutex> held(lock_);
    held_.clear();
    failure_.clear();
}

// The reader thread: one read pending at a time, what it brings held for the window's thread, which is told
// once for all that came since it last looked. A read waits for one byte when nothing waits, else takes what
// the device counts as waiting, which is there already: no read time-out is needed, so none can end a read
// that has found nothing. It ends at Close, or when the device fails.
void Win32SerialPort::Read() {
    std::vector<std::uint8_t> chunk(kReadChunk);
    const HANDLE readOrStop[] = {readDone_, stop_};
    const HANDLE takenOrStop[] = {taken_, stop_};
    DWORD wanted = 1;
    for (;;) {
        bool full = false;
        {
            const std::lock_guard<std::mutex> held(lock_);
            full = held_.size() >= kMostHeld;
        }
        if (full) {
            if (WaitForMultipleObjects(2, takenOrStop, FALSE, INFINITE) != WAIT_OBJECT_0) return;
            continue;
        }
        OVERLAPPED request{};
        request.hEvent = readDone_;
        ResetEvent(readDone_);
        DWORD got = 0;
        DWORD error = 0;
        if (!ReadFile(handle_, chunk.data(), wanted, nullptr, &request)) error = GetLastError();
        if (error == 0 || error == ERROR_IO_PENDING) {
            if (WaitForMultipleObjects(2, readOrStop, FALSE, INFINITE) != WAIT_OBJECT_0) {
                CancelIoEx(handle_, &request);
                GetOverlappedResult(handle_, &request, &got, TRUE);
                return;
            }
            error = GetOverlappedResult(handle_, &request, &got, FALSE) ? 0 : GetLastError();
        }
        DWORD errors = 0;
        COMSTAT status{};
        if (error == 0 && !ClearCommError(handle_, &errors, &status)) error = GetLastError();
        wanted = std::clamp<DWORD>(status.cbInQue, 1, kReadChunk);
        const std::lock_guard<std::mutex> held(lock_);
        if (error != 0) failure_ = SystemErrorText(error);
        held_.insert(held_.end(), chunk.begin(), chunk.begin() + got);
        if ((got > 0 || error != 0) && !posted_) posted_ = PostMessageW(window_, message_, 0, 0);
        if (error != 0) return;
    }
}

void Win32SerialPort::Announce() {
    {
        const std::lock_guard<std::mutex> held(lock_);
        posted_ = false;
    }
    // A message box shown by the handler runs a nested loop, where this would come again: the outer handler
    // is still at work then.
    if (announcing_ || !InputArrived) return;
    {
        ScopedFlag announcing(announcing_);
        readWhileAnnouncing_ = false;
        InputArrived();
    }
    // Bytes that came while the handler ran, after it read, are announced again once the loop is back; so is
    // a device that went just after its last bytes, which the handler's read took before the failure.
    if (!readWhileAnnouncing_ || !PortOpen()) return;
    const std::lock_guard<std::mutex> held(lock_);
    if ((!held_.empty() || !failure_.empty()) && !posted_) posted_ = PostMessageW(window_, message_, 0, 0);
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
    std::string failure;
    {
        const std::lock_guard<std::mutex> held(lock_);
        // What came before the device went is read first.
        if (!held_.empty() || failure_.empty()) return static_cast<int>(held_.size());
        failure = failure_;
    }
    FailAndClose(failure);
}

void Win32SerialPort::ClearInBuffer() {
    if (!PortOpen()) throw SerialError(kNotOpen);
    // The reader takes every byte from the device as it comes: what waits is what it holds. The device's own
    // queue is left alone, since the reader's next read counts on what it found there.
    {
        const std::lock_guard<std::mutex> held(lock_);
        held_.clear();
    }
    readWhileAnnouncing_ = true;
    SetEvent(taken_);
}

std::vector<std::uint8_t> Win32SerialPort::Input() {
    std::vector<std::uint8_t> bytes;
    ReadInput(bytes);
    return bytes;
}

void Win32SerialPort::ReadInput(std::vector<std::uint8_t>& bytes) {
    if (InBufferCount() == 0) {
        bytes.clear();
        return;
    }
    {
        const std::lock_guard<std::mutex> held(lock_);
        bytes.assign(held_.begin(), held_.end());
        held_.clear();
    }
    readWhileAnnouncing_ = true;
    SetEvent(taken_);
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
