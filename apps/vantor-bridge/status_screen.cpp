#include "status_screen.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

StatusScreen::StatusScreen() {
    const char* term = std::getenv("TERM");
    terminal_ = ::isatty(STDOUT_FILENO) && term && std::strcmp(term, "dumb") != 0;
}

void StatusScreen::Erase() {
    // Up to the table's first line, and everything below it goes.
    if (tableLines_ > 0) std::printf("\x1b[%dF\x1b[J", tableLines_);
    tableLines_ = 0;
}

void StatusScreen::Print(const std::string& line) {
    if (!terminal_) {
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
        return;
    }
    Erase();
    std::printf("%s\n%s", line.c_str(), table_.c_str());
    tableLines_ = static_cast<int>(std::count(table_.begin(), table_.end(), '\n'));
    std::fflush(stdout);
}

void StatusScreen::ShowTable(const std::string& table) {
    if (!terminal_) return;
    Erase();
    table_ = table;
    std::printf("%s", table_.c_str());
    tableLines_ = static_cast<int>(std::count(table_.begin(), table_.end(), '\n'));
    std::fflush(stdout);
}

void StatusScreen::Finish() {
    tableLines_ = 0;
    table_.clear();
}
