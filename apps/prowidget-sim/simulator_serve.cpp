#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <system_error>

#include "simulator_impl.h"

namespace prowidget {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kLabelReprogram = 1;
constexpr std::uint8_t kLabelPage = 2;
constexpr std::uint8_t kLabelGetParameters = 3;
constexpr std::uint8_t kLabelSetParameters = 4;
constexpr std::uint8_t kLabelReceivedDmx = 5;
constexpr std::uint8_t kLabelReceiveMode = 7;
constexpr std::size_t kMaxUserConfig = 508;
constexpr int kWriteWaitMs = 50;
constexpr std::uint8_t kTrue[] = {'T', 'R', 'U', 'E'};
constexpr std::uint8_t kFals[] = {'F', 'A', 'L', 'S'};

Clock::duration ReportPeriod(double rate) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate));
}

std::string Describe(const char* direction, std::uint8_t label, std::size_t size) {
    char line[96];
    std::snprintf(line, sizeof line, "%s label %u, %zu data bytes", direction, static_cast<unsigned>(label),
                  size);
    return line;
}

}  // namespace

Simulator::Impl::Impl()
    : cutter(
          kSimMaxDataLength,
          [this](std::uint8_t label, std::vector<std::uint8_t> data) { HandleFrame(label, std::move(data)); },
          [this] {
              {
                  std::lock_guard lock(mu);
                  ++badFrames;
              }
              changed.notify_all();
              Log("bad frame");
          }) {
    wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    thread = std::thread([this] { Serve(); });
}

Simulator::Impl::~Impl() {
    stopping = true;
    Wake();
    thread.join();
    close(wakeFd);
}

void Simulator::Impl::Wake() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto written = write(wakeFd, &one, sizeof one);
}

void Simulator::Impl::Log(const std::string& line) {
    std::function<void(const std::string&)> sink;
    {
        std::lock_guard lock(mu);
        sink = log;
    }
    if (sink) sink(line);
}

void Simulator::Impl::Serve() {
    while (!stopping) {
        std::optional<timespec> timeout;
        {
            std::lock_guard lock(mu);
            if (receiveMode && reportRate > 0) {
                auto wait = std::max<Clock::duration>(Clock::duration::zero(), nextReport - Clock::now());
                auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
                timeout =
                    timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
            }
        }
        const bool reading = !stalled;
        pollfd fds[2] = {{pty.MasterFd(), static_cast<short>(reading ? POLLIN : 0), 0}, {wakeFd, POLLIN, 0}};
        int ready = ppoll(fds, 2, timeout ? &*timeout : nullptr, nullptr);
        if (ready < 0 && errno != EINTR) break;
        if (stopping) break;
        if (ready > 0 && (fds[1].revents & POLLIN)) {
            std::uint64_t count;
            [[maybe_unused]] auto got = read(wakeFd, &count, sizeof count);
        }
        if (reading && ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) ReadInput();
        SendReportIfDue();
    }
}

void Simulator::Impl::ReadInput() {
    std::uint8_t buffer[4096];
    while (!stalled) {
        ssize_t got = read(pty.MasterFd(), buffer, sizeof buffer);
        if (got > 0) {
            cutter.Feed(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(got)));
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno == EIO) {
            // Only seen while no slave descriptor is open; ours always is, but do not spin if it happens.
            usleep(10000);
        }
        break;
    }
    std::size_t stray = cutter.StrayBytes();
    std::lock_guard lock(mu);
    strayBytes = stray;
}

void Simulator::Impl::HandleFrame(std::uint8_t label, std::vector<std::uint8_t> data) {
    // A hung device does not take what was already on its way either.
    if (stalled) return;
    Log(Describe("in ", label, data.size()));
    const auto replies = Answer(label, data);
    {
        std::lock_guard lock(mu);
        Frame frame{label, std::move(data), Clock::now()};
        ++frameCounts[label];
        if (++framesReceived >= stallAfter.value_or(SIZE_MAX)) stalled = true;
        lastFrames[label] = frame;
        keptFrames.push_back(std::move(frame));
        if (keptFrames.size() > kKeptFrames) keptFrames.pop_front();
    }
    changed.notify_all();
    if (replies.empty()) return;
    std::chrono::milliseconds delay;
    {
        std::lock_guard lock(mu);
        if (silent) return;
        delay = replyDelay;
    }
    if (delay.count() > 0) std::this_thread::sleep_for(delay);
    for (const auto& reply : replies) {
        WriteFrame(reply);
        Log(Describe("out", reply[1], reply.size() - 5));
    }
}

// Updates the state for one request and returns the replies to write, in order.
std::vector<std::vector<std::uint8_t>> Simulator::Impl::Answer(std::uint8_t label,
                                                               const std::vector<std::uint8_t>& data) {
    std::lock_guard lock(mu);
    switch (label) {
        case kLabelReprogram:
            ++reprogramRequests;
            inProgrammer = true;
            image.clear();
            pagesReceived = 0;
            nextPage = 1;
            if (strayAnswer) return {BuildFrame(kLabelPage, kTrue)};
            return {};
        case kLabelPage:
            return AnswerPage(data);
        case kLabelGetParameters: {
            ++getParametersRequests;
            if (answerNotParameters) {
                std::vector<std::uint8_t> other(4, 0);
                return {BuildFrame(kSimNotParametersLabel, other)};
            }
            std::size_t userConfig = 0;
            if (data.size() >= 2)
                userConfig = std::min<std::size_t>(data[0] | (data[1] << 8), kMaxUserConfig);
            std::vector<std::uint8_t> body{parameters.firmwareLsb, parameters.firmwareMsb,
                                           parameters.breakTime, parameters.mabTime, parameters.frameRate};
            body.resize(body.size() + userConfig, 0);
            return {BuildFrame(kLabelGetParameters, body)};
        }
        case kLabelSetParameters:
            if (data.size() < 5) {
                ++badFrames;
                return {};
            }
            ++setParametersRequests;
            parameters.breakTime = data[2];
            parameters.mabTime = data[3];
            parameters.frameRate = data[4];
            return {};
        case kSimNotParametersLabel: {
            // A serial-number request, as other hosts send to recognise a widget (the plug-in never does).
            const std::uint8_t serial[] = {
                static_cast<std::uint8_t>(serialNumber), static_cast<std::uint8_t>(serialNumber >> 8),
                static_cast<std::uint8_t>(serialNumber >> 16), static_cast<std::uint8_t>(serialNumber >> 24)};
            return {BuildFrame(kSimNotParametersLabel, serial)};
        }
        case kLabelReceiveMode:
            if (!receiveMode) {
                receiveMode = true;
                nextReport = Clock::now();
            }
            return {};
        default:
            return {};
    }
}

// Called with mu held.
std::vector<std::vector<std::uint8_t>> Simulator::Impl::AnswerPage(const std::vector<std::uint8_t>& data) {
    ++pagesReceived;
    if (!inProgrammer || data.size() != kSimPageBytes) return {BuildFrame(kLabelPage, kFals)};
    int page = nextPage++;
    if (page >= kSessionPages) inProgrammer = false;
    PageAnswer answer = PageAnswer::True;
    if (auto once = pageAnswersOnce.find(page); once != pageAnswersOnce.end()) {
        answer = once->second;
        pageAnswersOnce.erase(once);
    } else if (auto always = pageAnswers.find(page); always != pageAnswers.end()) {
        answer = always->second;
    }
    switch (answer) {
        case PageAnswer::True:
            image.insert(image.end(), data.begin(), data.end());
            return {BuildFrame(kLabelPage, kTrue)};
        case PageAnswer::Twice:
            image.insert(image.end(), data.begin(), data.end());
            return {BuildFrame(kLabelPage, kTrue), BuildFrame(kLabelPage, kTrue)};
        case PageAnswer::False:
            return {BuildFrame(kLabelPage, kFals)};
        case PageAnswer::Silent:
            return {};
    }
    return {};
}

void Simulator::Impl::SendReportIfDue() {
    std::vector<std::uint8_t> body;
    {
        std::lock_guard lock(mu);
        if (!receiveMode || reportRate <= 0) return;
        auto now = Clock::now();
        if (now < nextReport) return;
        nextReport += ReportPeriod(reportRate);
        // After a stall, carry on at the rate instead of catching up in a burst.
        if (nextReport < now) nextReport = now + ReportPeriod(reportRate);
        if (silent) return;
        if (pty.UnreadBySlave() > static_cast<int>(kBacklogBytes)) {
            ++reportsDropped;
            return;
        }
        body.reserve(1 + kSimLevelCount);
        body.push_back(receiveStatus);
        body.insert(body.end(), receivedLevels.begin(), receivedLevels.end());
    }
    auto frame = BuildFrame(kLabelReceivedDmx, body);
    WriteFrame(frame);
    {
        std::lock_guard lock(mu);
        ++reportsSent;
    }
    changed.notify_all();
    Log(Describe("out", kLabelReceivedDmx, body.size()));
}

void Simulator::Impl::WriteFrame(const std::vector<std::uint8_t>& frame) {
    WriteFaults how;
    {
        std::lock_guard lock(mu);
        how = faults;
    }
    std::vector<std::uint8_t> bytes = how.garbage;
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    std::lock_guard line(writeMu);
    if (how.pieceSize == 0) {
        WriteAll(bytes.data(), bytes.size());
        return;
    }
    for (std::size_t at = 0; at < bytes.size() && !stopping; at += how.pieceSize) {
        WriteAll(bytes.data() + at, std::min(how.pieceSize, bytes.size() - at));
        std::this_thread::sleep_for(how.pause);
    }
}

void Simulator::Impl::WriteAll(const std::uint8_t* bytes, std::size_t size) {
    while (size > 0 && !stopping) {
        ssize_t put = write(pty.MasterFd(), bytes, size);
        if (put > 0) {
            bytes += put;
            size -= static_cast<std::size_t>(put);
            continue;
        }
        int error = put < 0 ? errno : 0;
        if (error == EINTR) continue;
        // Full (EAGAIN) or momentarily unusable (EIO): wait a little and try again.
        if (error == EIO) {
            usleep(kWriteWaitMs * 1000);
            continue;
        }
        pollfd out{pty.MasterFd(), POLLOUT, 0};
        if (poll(&out, 1, kWriteWaitMs) < 0 && errno != EINTR) return;
    }
}

}  // namespace prowidget
