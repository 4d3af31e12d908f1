// The host's status line as the journal gets it, on a fake clock: the host's loop looks every 250 ms, and the
// status bar's text changes in between.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "status_line.h"

namespace {

using namespace std::chrono_literals;

const std::string kMismatch = "5 The data length did not match the actual size in the packet";

struct JournalRow {
    const char* name;
    std::function<std::string(int ms)> statusText;
    std::function<std::uint64_t(int ms)> faultyFrames;
    std::vector<std::string> lines;  // the widget and summary lines written
};

// Console writes to a memory stream, which is no terminal.
struct MemoryStream {
    MemoryStream() : file(open_memstream(&buffer, &size)) {}
    ~MemoryStream() {
        std::fclose(file);
        std::free(buffer);
    }
    std::string Text() {
        std::fflush(file);
        return std::string(buffer, size);
    }
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* file;
};

std::vector<std::string> WidgetAndSummaryLines(const std::string& journal) {
    std::vector<std::string> lines;
    std::istringstream in(journal);
    for (std::string line; std::getline(in, line);) {
        const std::string text = line.substr(line.find(": ") + 2);
        if (text.starts_with("widget status") || text.ends_with(" in the last 10 s")) lines.push_back(text);
    }
    return lines;
}

TEST(StatusLine, NotOnATerminalOnlyAStatusThatStandsGetsALineAndDroppedFramesAreSummed) {
    const std::vector<JournalRow> rows{
        {"faulty frames from 3 to 15 s, one a second: the status flickers",
         [](int ms) { return ms >= 3000 && ms < 15000 && ms / 50 % 2 ? "dmx frame invalid!" : "0 Ready"; },
         [](int ms) { return ms < 3500 ? 0 : std::min(12, (ms - 3500) / 1000 + 1); },
         {"widget status 0 Ready", "7 faulty frames in the last 10 s", "5 faulty frames in the last 10 s"}},
        {"a lasting change",
         [](int ms) { return ms < 5000 ? "0 Ready" : kMismatch; },
         [](int) { return 0; },
         {"widget status 0 Ready", "widget status " + kMismatch}},
        {"a status shown for 1.5 s",
         [](int ms) { return ms >= 5000 && ms < 6500 ? "2 Packet length is too short" : "0 Ready"; },
         [](int) { return 0; },
         {"widget status 0 Ready"}},
    };
    for (const auto& row : rows) {
        MemoryStream journal;
        {
            Console console(journal.file, false);
            StatusLine line(console, 1, "/dev/ttyUSB0", true);
            vantor_bridge_status status{};
            status.port = 1;
            status.port_open = VANTOR_TRUE;
            vantor_receive_counts dropped{};
            const StatusLine::Clock::time_point start{};
            for (int ms = 0; ms <= 21000; ms += 50) {
                const std::string text = row.statusText(ms);
                line.NoteStatusText(text, start + std::chrono::milliseconds(ms));
                if (ms % 250 != 0) continue;
                std::snprintf(status.status_text, sizeof status.status_text, "%s", text.c_str());
                dropped.faulty = row.faultyFrames(ms);
                line.Update(status, dropped, start + std::chrono::milliseconds(ms));
            }
        }
        EXPECT_EQ(WidgetAndSummaryLines(journal.Text()), row.lines) << row.name << "\n" << journal.Text();
    }
}

}  // namespace
