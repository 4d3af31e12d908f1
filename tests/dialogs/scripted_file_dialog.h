#pragma once

// The person at the open-file dialog, for logic tests: answers each show with the next scripted reply and
// records what the dialog was shown with and how it was moved.

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "dialogs/common_dialog.h"

class ScriptedFileDialog : public FileDialogService {
public:
    static constexpr WindowHandle kOwner = 0x100;
    static constexpr WindowHandle kDialog = 0x200;

    WindowHandle OwnerWindow() const override { return kOwner; }
    OpenFileNameReply GetOpenFileName(const OpenFileNameRecord& record,
                                      const ActivationHook& activating) override {
        shownWith.push_back(record);
        if (activating) activating(kDialog);
        if (whileShown) whileShown();
        if (replies.empty()) return {};
        OpenFileNameReply reply = replies.front();
        replies.pop_front();
        return reply;
    }
    WindowRect GetWindowRect(WindowHandle window) const override { return rects.at(window); }
    void MoveWindow(WindowHandle window, int x, int y) override { moves.push_back({window, x, y}); }
    ScreenSize GetScreenSize() const override { return screen; }

    // The user's choice of one file at `path`, as the dialog reports it.
    void ChooseFile(const std::string& path) {
        const std::size_t slash = path.rfind('/');
        const auto offset = static_cast<std::uint16_t>(slash + 1);
        replies.push_back({true, path + '\0', offset, path.substr(offset)});
    }
    // The user's choice of several files in one directory, in the list form.
    void ChooseFiles(const std::string& directory, const std::vector<std::string>& names) {
        std::string list = directory + '\0';
        for (const auto& name : names) list += name + '\0';
        replies.push_back({true, list + '\0', static_cast<std::uint16_t>(directory.size() + 1), ""});
    }
    void Cancel() { replies.push_back({}); }

    struct Move {
        WindowHandle window;
        int x, y;
        bool operator==(const Move&) const = default;
    };
    // Runs while the dialog is open, as the user would look at the window behind it.
    std::function<void()> whileShown;
    std::deque<OpenFileNameReply> replies;
    std::vector<OpenFileNameRecord> shownWith;
    std::vector<Move> moves;
    std::map<WindowHandle, WindowRect> rects{{kOwner, {100, 100, 901, 701}}, {kDialog, {0, 0, 400, 300}}};
    ScreenSize screen{1920, 1080};
};
