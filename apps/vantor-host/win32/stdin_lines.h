#pragma once

#include <windows.h>

#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Reads standard input line by line on a thread of its own, so that the host's message loop never blocks;
// Ready() is signalled while lines wait. Made once and kept until the process ends: its thread may sit in a
// read that nothing can end.
class StdinLines {
public:
    static StdinLines& Start();
    StdinLines(const StdinLines&) = delete;
    StdinLines& operator=(const StdinLines&) = delete;

    HANDLE Ready() const { return ready_; }
    // The lines completed since the last call (a last line without newline counts once the input ends).
    std::vector<std::string> Take();

private:
    StdinLines();
    void Read();

    HANDLE ready_;
    std::mutex mutex_;
    std::deque<std::string> lines_;
    std::thread reader_;
};
