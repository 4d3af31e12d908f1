#pragma once

#include <cstdint>
#include <string>

#include "console.h"

// A firmware update as a person follows it. During an update the plug-in's status text holds one '.' per
// page written and ends in 'x' when a page is refused; a new attempt starts with "Opening File". On a
// terminal this becomes a bar over the 96 pages; elsewhere one line per attempt and per refused page.
class ProgressBar {
public:
    static constexpr int kPages = 96;
    static constexpr std::uintmax_t kImageBytes = kPages * 64;

    explicit ProgressBar(Console& console) : console_(console) {}

    // Says so when the file is longer than the image that is written from it.
    void Start(const std::string& file);

    void OnStatusText(const std::string& text);
    // Tells the outcome; failure is the last message the plug-in showed.
    void Finish(bool updated, const std::string& failure);

    // For vantor_set_status_listener, with the ProgressBar as the context.
    static void Listener(void* context, const char* text);

private:
    void Draw();
    std::string Refusal() const;

    Console& console_;
    int attempt_ = 0;
    int pages_ = 0;
    bool refused_ = false;
};
