// The open-file dialog module on arbitrary replies of the system's dialog, several uses in a row (the file
// buffer keeps the previous choice in front). A reply is either refused with FileDialogError or split into a
// directory and names that put back together give exactly what the buffer holds.

#include <fuzzer/FuzzedDataProvider.h>

#include "dialogs/common_dialog.h"
#include "fuzz_check.h"

namespace {

class ScriptedDialog : public FileDialogService {
public:
    WindowHandle OwnerWindow() const override { return 1; }
    OpenFileNameReply GetOpenFileName(const OpenFileNameRecord&, const ActivationHook& activating) override {
        activating(2);
        return reply;
    }
    WindowRect GetWindowRect(WindowHandle window) const override {
        return window == 1 ? WindowRect{0, 0, 500, 400} : WindowRect{0, 0, 300, 200};
    }
    void MoveWindow(WindowHandle, int, int) override { ++moves; }
    ScreenSize GetScreenSize() const override { return {1920, 1080}; }

    OpenFileNameReply reply;
    int moves = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    ZEVID_CommonDialog module;
    ScriptedDialog dialog;
    for (int use = 0; use < 3 && in.remaining_bytes() > 0; ++use) {
        dialog.reply.Chosen = in.ConsumeIntegralInRange(0, 7) != 0;
        dialog.reply.FileOffset = in.ConsumeIntegral<std::uint16_t>();
        dialog.reply.FileTitle = in.ConsumeRandomLengthString(64);
        dialog.reply.File = in.ConsumeRandomLengthString(6000);
        const int movesBefore = dialog.moves;
        FileDialogResult result;
        try {
            result = module.ShowOpenFileDialog(&dialog, 1, in.ConsumeBool() ? kTrue : kFalse);
        } catch (const FileDialogError&) {
            continue;
        }
        FUZZ_CHECK(dialog.moves == movesBefore + 1);
        if (result.Cancelled == kTrue) {
            FUZZ_CHECK(result.FileCount == 0 && result.FileNames.empty());
            continue;
        }
        const std::string& file = module.OpenDialogRecord.lpstrFile;
        FUZZ_CHECK(result.FileCount == static_cast<std::int16_t>(result.FileNames.size()));
        FUZZ_CHECK(result.FileCount >= 1 && result.FileCount <= kNameListSize);
        if (!dialog.reply.FileTitle.empty()) {
            FUZZ_CHECK(result.FileCount == 1);
            FUZZ_CHECK(result.Directory + result.FileName(1) == file.substr(0, file.find('\0')));
        } else {
            std::string joined = result.Directory;
            for (const std::string& name : result.FileNames) joined += '\0' + name;
            joined += std::string(2, '\0');
            FUZZ_CHECK(file.compare(0, joined.size(), joined) == 0);
            for (const std::string& name : result.FileNames) FUZZ_CHECK(name.find('\0') == std::string::npos);
        }
    }
    return 0;
}
