#include "simulator_impl.h"

namespace prowidget {

Simulator::Simulator() : impl_(std::make_unique<Impl>()) {}
Simulator::~Simulator() = default;

std::string Simulator::DevicePath() const {
    return impl_->pty.SlavePath();
}

void Simulator::SetParameters(Parameters p) {
    std::lock_guard lock(impl_->mu);
    impl_->parameters = p;
}

Parameters Simulator::CurrentParameters() const {
    std::lock_guard lock(impl_->mu);
    return impl_->parameters;
}

void Simulator::SetSerialNumber(std::uint32_t serialNumber) {
    std::lock_guard lock(impl_->mu);
    impl_->serialNumber = serialNumber;
}

std::size_t Simulator::FrameCount(std::uint8_t label) const {
    std::lock_guard lock(impl_->mu);
    return impl_->frameCounts[label];
}

std::optional<Frame> Simulator::LastFrame(std::uint8_t label) const {
    std::lock_guard lock(impl_->mu);
    auto found = impl_->lastFrames.find(label);
    if (found == impl_->lastFrames.end()) return std::nullopt;
    return found->second;
}

std::vector<Frame> Simulator::TakeFrames() {
    std::lock_guard lock(impl_->mu);
    std::vector<Frame> frames(std::make_move_iterator(impl_->keptFrames.begin()),
                              std::make_move_iterator(impl_->keptFrames.end()));
    impl_->keptFrames.clear();
    return frames;
}

bool Simulator::WaitForFrames(std::uint8_t label, std::size_t count,
                              std::chrono::milliseconds timeout) const {
    return impl_->WaitFor(timeout, [&] { return impl_->frameCounts[label] >= count; });
}

std::size_t Simulator::GetParametersRequests() const {
    std::lock_guard lock(impl_->mu);
    return impl_->getParametersRequests;
}

std::size_t Simulator::SetParametersRequests() const {
    std::lock_guard lock(impl_->mu);
    return impl_->setParametersRequests;
}

std::size_t Simulator::BadFrames() const {
    std::lock_guard lock(impl_->mu);
    return impl_->badFrames;
}

std::size_t Simulator::StrayBytes() const {
    std::lock_guard lock(impl_->mu);
    return impl_->strayBytes;
}

void Simulator::SetReceivedDmx(const SimLevels& levelsIncludingStartCode, std::uint8_t status) {
    std::lock_guard lock(impl_->mu);
    impl_->receivedLevels = levelsIncludingStartCode;
    impl_->receiveStatus = status;
}

void Simulator::SetReportRate(double framesPerSecond) {
    {
        std::lock_guard lock(impl_->mu);
        impl_->reportRate = framesPerSecond > 0 ? framesPerSecond : 0;
        impl_->nextReport = std::chrono::steady_clock::now();
    }
    impl_->Wake();
}

void Simulator::SetReceiveMode(bool on) {
    {
        std::lock_guard lock(impl_->mu);
        if (on && !impl_->receiveMode) impl_->nextReport = std::chrono::steady_clock::now();
        impl_->receiveMode = on;
    }
    impl_->Wake();
}

bool Simulator::InReceiveMode() const {
    std::lock_guard lock(impl_->mu);
    return impl_->receiveMode;
}

std::size_t Simulator::ReportsSent() const {
    std::lock_guard lock(impl_->mu);
    return impl_->reportsSent;
}

std::size_t Simulator::ReportsDropped() const {
    std::lock_guard lock(impl_->mu);
    return impl_->reportsDropped;
}

bool Simulator::WaitForReports(std::size_t count, std::chrono::milliseconds timeout) const {
    return impl_->WaitFor(timeout, [&] { return impl_->reportsSent >= count; });
}

void Simulator::SetSplitWrites(std::size_t pieceSize, std::chrono::microseconds pause) {
    std::lock_guard lock(impl_->mu);
    impl_->faults.pieceSize = pieceSize;
    impl_->faults.pause = pause;
}

void Simulator::SetGarbageBetweenFrames(std::vector<std::uint8_t> bytes) {
    std::lock_guard lock(impl_->mu);
    impl_->faults.garbage = std::move(bytes);
}

void Simulator::SetSilent(bool silent) {
    std::lock_guard lock(impl_->mu);
    impl_->silent = silent;
}

void Simulator::SetAnswerNotParameters(bool on) {
    std::lock_guard lock(impl_->mu);
    impl_->answerNotParameters = on;
}

void Simulator::SetReplyDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(impl_->mu);
    impl_->replyDelay = delay;
}

void Simulator::SetStallAfter(std::size_t frames) {
    {
        std::lock_guard lock(impl_->mu);
        impl_->stallAfter = frames;
        if (impl_->framesReceived >= frames) impl_->stalled = true;
    }
    impl_->Wake();
}

bool Simulator::Stalled() const {
    return impl_->stalled;
}

void Simulator::Send(std::vector<std::uint8_t> raw) {
    std::lock_guard line(impl_->writeMu);
    impl_->WriteAll(raw.data(), raw.size());
}

void Simulator::SetStrayAnswer(bool on) {
    std::lock_guard lock(impl_->mu);
    impl_->strayAnswer = on;
}

void Simulator::SetPageAnswer(int pageNumber, PageAnswer answer) {
    std::lock_guard lock(impl_->mu);
    impl_->pageAnswers[pageNumber] = answer;
}

void Simulator::SetPageAnswerOnce(int pageNumber, PageAnswer answer) {
    std::lock_guard lock(impl_->mu);
    impl_->pageAnswersOnce[pageNumber] = answer;
}

void Simulator::ClearPageAnswers() {
    std::lock_guard lock(impl_->mu);
    impl_->pageAnswers.clear();
    impl_->pageAnswersOnce.clear();
}

std::vector<std::uint8_t> Simulator::FlashedImage() const {
    std::lock_guard lock(impl_->mu);
    return impl_->image;
}

std::size_t Simulator::PagesReceived() const {
    std::lock_guard lock(impl_->mu);
    return impl_->pagesReceived;
}

std::size_t Simulator::ReprogramRequests() const {
    std::lock_guard lock(impl_->mu);
    return impl_->reprogramRequests;
}

bool Simulator::InProgrammer() const {
    std::lock_guard lock(impl_->mu);
    return impl_->inProgrammer;
}

bool Simulator::WaitForPages(std::size_t count, std::chrono::milliseconds timeout) const {
    return impl_->WaitFor(timeout, [&] { return impl_->pagesReceived >= count; });
}

void Simulator::SetLog(std::function<void(const std::string&)> log) {
    std::lock_guard lock(impl_->mu);
    impl_->log = std::move(log);
}

}  // namespace prowidget
