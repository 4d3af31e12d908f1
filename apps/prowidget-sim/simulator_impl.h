#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "frame_codec.h"
#include "prowidget_sim.h"
#include "pseudo_terminal.h"

namespace prowidget {

// How replies and reports are put on the line; copied out of the shared state for each write.
struct WriteFaults {
    std::size_t pieceSize = 0;
    std::chrono::microseconds pause{0};
    std::vector<std::uint8_t> garbage;
};

struct Simulator::Impl {
    Impl();
    ~Impl();

    void Serve();
    void ReadInput();
    void HandleFrame(std::uint8_t label, std::vector<std::uint8_t> data);
    std::vector<std::vector<std::uint8_t>> Answer(std::uint8_t label, const std::vector<std::uint8_t>& data);
    std::vector<std::vector<std::uint8_t>> AnswerPage(const std::vector<std::uint8_t>& data);
    void SendReportIfDue();
    void WriteFrame(const std::vector<std::uint8_t>& frame);
    // Writes every byte unless the simulator is stopping; waits while the pty is full.
    void WriteAll(const std::uint8_t* bytes, std::size_t size);
    void Wake();
    void Log(const std::string& line);
    template <typename Predicate>
    bool WaitFor(std::chrono::milliseconds timeout, Predicate done) const {
        std::unique_lock lock(mu);
        return changed.wait_for(lock, timeout, done);
    }

    PseudoTerminal pty;
    int wakeFd = -1;
    std::atomic<bool> stopping{false};
    FrameCutter cutter;  // used on the serving thread only
    std::mutex writeMu;  // one frame at a time on the line, whoever writes it

    mutable std::mutex mu;
    mutable std::condition_variable changed;
    Parameters parameters;
    std::uint32_t serialNumber = kSimSerialNumber;
    std::array<std::size_t, 256> frameCounts{};
    std::map<std::uint8_t, Frame> lastFrames;
    std::deque<Frame> keptFrames;
    std::size_t getParametersRequests = 0;
    std::size_t setParametersRequests = 0;
    std::size_t badFrames = 0;
    std::size_t strayBytes = 0;

    SimLevels receivedLevels{};
    std::uint8_t receiveStatus = 0;
    double reportRate = 40.0;
    bool receiveMode = false;
    std::chrono::steady_clock::time_point nextReport;
    std::size_t reportsSent = 0;
    std::size_t reportsDropped = 0;

    WriteFaults faults;
    bool silent = false;
    bool answerNotParameters = false;
    std::chrono::milliseconds replyDelay{0};
    std::optional<std::size_t> stallAfter;
    std::size_t framesReceived = 0;
    std::atomic<bool> stalled{false};

    bool strayAnswer = false;
    std::map<int, PageAnswer> pageAnswers;
    std::map<int, PageAnswer> pageAnswersOnce;
    std::vector<std::uint8_t> image;
    std::size_t pagesReceived = 0;
    std::size_t reprogramRequests = 0;
    bool inProgrammer = false;
    int nextPage = 1;

    std::function<void(const std::string&)> log;

    std::thread thread;  // last: starts once everything above exists
};

}  // namespace prowidget
