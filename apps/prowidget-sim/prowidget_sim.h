#pragma once

// A simulated USB Pro widget on a pseudo-terminal. The plug-in opens DevicePath() as its serial port; the
// simulator answers on the other side, speaking the widget's framed protocol:
//   7E <label> <length lo> <length hi> <length data bytes> E7
// It answers get-parameters requests, stores set-parameters requests, records every frame it receives,
// reports received DMX after a receive-mode request, and runs the boot-strap programmer that takes firmware
// pages. Every member function is thread-safe; several simulators may run at once, each with its own pty and
// thread.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace prowidget {

inline constexpr std::uint8_t kSimStart = 0x7E;
inline constexpr std::uint8_t kSimEnd = 0xE7;
inline constexpr std::size_t kSimLevelCount = 513;  // entry 0 the start code, entry n channel n
inline constexpr std::size_t kSimPageBytes = 64;
inline constexpr std::size_t kSimMaxDataLength = 600;       // longer length fields are taken as line noise
inline constexpr std::uint8_t kSimNotParametersLabel = 10;  // the serial-number frame
// The serial number a label-10 request is answered with, low byte first, unless SetSerialNumber chose
// another.
inline constexpr std::uint32_t kSimSerialNumber = 0x12345678;

using SimLevels = std::array<std::uint8_t, kSimLevelCount>;

struct Parameters {
    std::uint8_t firmwareLsb = 44;
    std::uint8_t firmwareMsb = 2;
    std::uint8_t breakTime = 9;
    std::uint8_t mabTime = 1;
    std::uint8_t frameRate = 40;
    bool operator==(const Parameters&) const = default;
};

enum class PageAnswer { True, False, Silent, Twice };

// One whole frame received from the plug-in: its label and its data bytes (without head and end byte).
struct Frame {
    std::uint8_t label = 0;
    std::vector<std::uint8_t> data;
    std::chrono::steady_clock::time_point at;
};

class Simulator {
public:
    // Opens a pty in raw mode and starts serving it. Throws std::system_error when no pty can be had.
    Simulator();
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // The path the plug-in opens, e.g. /dev/pts/7.
    std::string DevicePath() const;

    // What a get-parameters request (label 3) is answered with; set-parameters requests (label 4) change the
    // break, MAB and rate bytes.
    void SetParameters(Parameters p);
    Parameters CurrentParameters() const;
    // What a serial-number request (label 10) is answered with, low byte first.
    void SetSerialNumber(std::uint32_t serialNumber);

    // Every whole frame received, of any label: counts, the last one, and all of them in arrival order (the
    // oldest are dropped beyond kKeptFrames; counts go on). TakeFrames hands them over and forgets them.
    static constexpr std::size_t kKeptFrames = 20000;
    std::size_t FrameCount(std::uint8_t label) const;
    std::optional<Frame> LastFrame(std::uint8_t label) const;
    std::vector<Frame> TakeFrames();
    bool WaitForFrames(std::uint8_t label, std::size_t count, std::chrono::milliseconds timeout) const;
    std::size_t GetParametersRequests() const;  // label-3 frames
    std::size_t SetParametersRequests() const;  // label-4 frames with at least 5 data bytes
    // Frames whose end byte was wrong, whose length field exceeded kSimMaxDataLength, or set-parameters
    // requests too short to carry the timing bytes.
    std::size_t BadFrames() const;
    std::size_t StrayBytes() const;  // bytes outside any frame, skipped while looking for a start byte

    // Receive mode: entered by a label-7 frame (or SetReceiveMode). While in it, the simulator reports the
    // received DMX as 7E 05 02 02 <status> <start code> <512 levels> E7 at the report rate (default 40 per
    // second; 0 stops the reports). A report is skipped, and counted as dropped, while the plug-in side has
    // left more than kBacklogBytes unread: a device does not queue for a host that does not read.
    static constexpr std::size_t kBacklogBytes = 2048;
    void SetReceivedDmx(const SimLevels& levelsIncludingStartCode, std::uint8_t status = 0);
    void SetReportRate(double framesPerSecond);
    void SetReceiveMode(bool on);
    bool InReceiveMode() const;
    std::size_t ReportsSent() const;
    std::size_t ReportsDropped() const;
    bool WaitForReports(std::size_t count, std::chrono::milliseconds timeout) const;

    // Faults on demand.
    // Every reply and report is written in pieces of pieceSize bytes (0 = whole) with a pause after each.
    void SetSplitWrites(std::size_t pieceSize,
                        std::chrono::microseconds pause = std::chrono::microseconds(3000));
    // Written just before every reply and report.
    void SetGarbageBetweenFrames(std::vector<std::uint8_t> bytes);
    // Answers nothing at all: no parameters, no page acknowledgements, no reports. Input is still recorded.
    void SetSilent(bool silent);
    // Answers a get-parameters request with a label-10 frame of four zero bytes instead.
    void SetAnswerNotParameters(bool on);
    // Delays every reply (not the reports) by this long.
    void SetReplyDelay(std::chrono::milliseconds delay);
    // Stops reading the line once this many frames have been received (0: at once), as a device that hangs
    // does; what the plug-in writes then piles up until the line is full. Replies and reports go on.
    void SetStallAfter(std::size_t frames);
    bool Stalled() const;
    // Writes raw bytes to the plug-in side now, untouched by the faults above.
    void Send(std::vector<std::uint8_t> raw);

    // Boot-strap programmer: a label-1 frame starts a programming session with an empty image. Each label-2
    // frame then carries page n (counted from 1): a 64-byte page is answered 7E 02 04 00 "TRUE" E7 and kept,
    // unless a different answer is chosen for page n ("FALS" and not kept, no answer and not kept, or "TRUE"
    // twice and kept). A page of another size, or one outside a session, is answered "FALS". After page 96
    // the session ends.
    static constexpr int kSessionPages = 96;
    // Answers every reprogram request with one "TRUE" that no page asked for.
    void SetStrayAnswer(bool on);
    void SetPageAnswer(int pageNumber, PageAnswer answer);      // every session
    void SetPageAnswerOnce(int pageNumber, PageAnswer answer);  // the next session that reaches that page
    void ClearPageAnswers();
    std::vector<std::uint8_t> FlashedImage() const;  // pages kept in the current or last session, in order
    std::size_t PagesReceived() const;               // label-2 frames since the last label-1 frame
    std::size_t ReprogramRequests() const;
    bool InProgrammer() const;
    bool WaitForPages(std::size_t count, std::chrono::milliseconds timeout) const;

    // Called on the simulator's thread with one line per frame received or written (for --verbose).
    void SetLog(std::function<void(const std::string&)> log);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace prowidget
