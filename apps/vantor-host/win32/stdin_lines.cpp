#include "stdin_lines.h"

StdinLines& StdinLines::Start() {
    static StdinLines* const lines = new StdinLines;
    return *lines;
}

StdinLines::StdinLines() : ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), reader_([this] { Read(); }) {
    reader_.detach();
}

void StdinLines::Read() {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::string pending;
    char buffer[4096];
    DWORD got = 0;
    auto deliver = [this](std::string line) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(std::move(line));
        SetEvent(ready_);
    };
    while (input && input != INVALID_HANDLE_VALUE && ReadFile(input, buffer, sizeof buffer, &got, nullptr) &&
           got > 0) {
        pending.append(buffer, got);
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
            deliver(pending.substr(0, end));
    }
    if (!pending.empty()) deliver(pending);
}

std::vector<std::string> StdinLines::Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> taken(lines_.begin(), lines_.end());
    lines_.clear();
    ResetEvent(ready_);
    return taken;
}
