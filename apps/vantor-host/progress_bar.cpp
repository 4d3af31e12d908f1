#include "progress_bar.h"

#include <algorithm>
#include <filesystem>

namespace {

constexpr int kBarWidth = 40;
constexpr const char* kAttemptStart = "Opening File";

}  // namespace

void ProgressBar::Listener(void* context, const char* text) {
    static_cast<ProgressBar*>(context)->OnStatusText(text ? text : "");
}

void ProgressBar::Start(const std::string& file) {
    std::error_code unknown;
    const std::uintmax_t size = std::filesystem::file_size(file, unknown);
    if (!unknown && size > kImageBytes)
        console_.Print(file + " is " + std::to_string(size) + " bytes; only the first " +
                       std::to_string(kImageBytes) + " are written");
}

// An answer that came after every page was answered fails the attempt as a refused page does.
std::string ProgressBar::Refusal() const {
    return pages_ < kPages ? "page " + std::to_string(pages_ + 1) + " refused"
                           : "an answer after the last page";
}

void ProgressBar::Draw() {
    const int filled = pages_ * kBarWidth / kPages;
    std::string line = "firmware attempt " + std::to_string(attempt_) + " [" + std::string(filled, '#') +
                       std::string(kBarWidth - filled, '.') + "] " + std::to_string(pages_) + "/" +
                       std::to_string(kPages) + " pages";
    if (refused_) line += ", " + Refusal();
    console_.Show(line);
}

void ProgressBar::OnStatusText(const std::string& text) {
    if (text == kAttemptStart) {
        // The last attempt's bar stays above the new one.
        console_.Finish();
        ++attempt_;
        pages_ = 0;
        refused_ = false;
        if (console_.OnTerminal())
            Draw();
        else
            console_.Print("firmware attempt " + std::to_string(attempt_) + ": sending " +
                           std::to_string(kPages) + " pages");
        return;
    }
    if (attempt_ == 0 || text.empty() || text.find_first_not_of(".x") != std::string::npos) return;
    pages_ = static_cast<int>(std::count(text.begin(), text.end(), '.'));
    const bool refusedNow = text.back() == 'x';
    if (console_.OnTerminal()) {
        refused_ = refusedNow;
        Draw();
        // The whole bar stays, above the plug-in's own "Firmware Updated".
        if (pages_ == kPages) console_.Finish();
    } else if (refusedNow && !refused_) {
        refused_ = true;
        console_.Print("firmware attempt " + std::to_string(attempt_) + ": " + Refusal());
    }
}

void ProgressBar::Finish(bool updated, const std::string& failure) {
    console_.Finish();
    if (updated)
        console_.Print("firmware update succeeded: " + std::to_string(pages_) + " of " +
                       std::to_string(kPages) + " pages written");
    else
        console_.Print("firmware update failed after " + std::to_string(attempt_) + " attempt" +
                       (attempt_ == 1 ? "" : "s") + (failure.empty() ? "" : "; last message: " + failure));
}
