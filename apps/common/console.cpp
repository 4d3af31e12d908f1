#include "console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr int kDefaultColumns = 80;
constexpr const char* kClearLine = "\r\033[K";

bool IsCapableTerminal(std::FILE* stream) {
    const char* term = std::getenv("TERM");
    return isatty(fileno(stream)) && !(term && std::strcmp(term, "dumb") == 0);
}

}  // namespace

std::string SecondsText(std::chrono::steady_clock::duration span) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", std::chrono::duration<double>(span).count());
    return text;
}

Console::Console(std::FILE* out, bool quiet) : out_(out), quiet_(quiet), terminal_(IsCapableTerminal(out)) {}

Console::~Console() {
    Finish();
}

int Console::Columns() const {
    winsize size{};
    if (ioctl(fileno(out_), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return kDefaultColumns;
}

void Console::Clear() {
    if (!showing_) return;
    std::fputs(kClearLine, out_);
    showing_ = false;
}

void Console::Show(const std::string& text) {
    if (quiet_ || !terminal_) return;
    // A line wider than the terminal wraps, and the next redraw would then leave its first part behind.
    const auto width = static_cast<std::size_t>(Columns() - 1);
    shown_ = text.substr(0, width);
    std::fputs(kClearLine, out_);
    std::fputs(shown_.c_str(), out_);
    std::fflush(out_);
    showing_ = true;
}

void Console::Print(const std::string& text) {
    if (quiet_) return;
    const bool wasShowing = showing_;
    Clear();
    std::fprintf(out_, "%s: %s\n", program_invocation_short_name, text.c_str());
    if (wasShowing) {
        std::fputs(shown_.c_str(), out_);
        showing_ = true;
    }
    std::fflush(out_);
}

void Console::Warn(const std::string& text) {
    if (showing_ && isatty(STDERR_FILENO)) Clear();
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, text.c_str());
}

void Console::Finish() {
    if (!showing_) return;
    std::fputs("\n", out_);
    std::fflush(out_);
    showing_ = false;
}

void Console::PrepareForPluginLog() const {
    if (quiet_ || !terminal_ || !isatty(STDERR_FILENO) || std::getenv("QT_MESSAGE_PATTERN")) return;
    setenv("QT_MESSAGE_PATTERN", "\r\033[K%{if-category}%{category}: %{endif}%{message}", 1);
}
