#include <exception>
#include <string>
#include <utility>

#include "dialogs/common_dialog.h"
#include "stuff/scoped_flag.h"
#include "widget/firmware_update.h"
#include "window/form1.h"

namespace {

using namespace std::string_literals;

const std::string kFirmwareFilter = "Binary Files (*.bin)\0*.bin\0All Files (*.*)\0*.*"s;
constexpr const char* kFirmwareDialogTitle = "Update Firmware";
constexpr const char* kUpdateFailedText = "Failed, Please Try Again.";

// The window as a firmware update sees it: the status bar, the reply time-out, the event loop, message boxes.
class FirmwareWindow : public FirmwareUpdateWindow {
public:
    explicit FirmwareWindow(Form1& form) : form_(form) {}
    std::string StatusText() const override { return form_.StatusBar1.SimpleText(); }
    void SetStatusText(const std::string& text) override { form_.StatusBar1.SetSimpleText(text); }
    void StartReplyTimeout() override { form_.timeout.SetEnabled(true); }
    bool ReplyTimeoutRunning() const override { return form_.timeout.Enabled(); }
    void WaitForEvents(int maxMs) override { form_.Services().Events.WaitForEvents(maxMs); }
    FrameAssembler::TimePoint Now() const override { return form_.Services().Events.Now(); }
    void ShowMessage(const std::string& text) override { form_.Services().Messages.Show(text); }
    void Log(const std::string& line) override {
        if (form_.Services().WidgetLog) form_.Services().WidgetLog(line);
    }

private:
    Form1& form_;
};

// The folder's own separator: a Windows folder names itself with backslashes, a Linux one with slashes.
char SeparatorOf(const std::string& folder) {
    return folder.find('\\') != std::string::npos && folder.find('/') == std::string::npos ? '\\' : '/';
}

std::string WithTrailingSeparator(const std::string& folder) {
    if (folder.empty() || folder.back() == SeparatorOf(folder)) return folder;
    return folder + SeparatorOf(folder);
}

// One file's directory ends in its separator, a list's does not; either way the path names the file.
std::string JoinPath(const std::string& directory, const std::string& name) {
    return WithTrailingSeparator(directory) + name;
}

// Receive poll and status display stay off for as long as this lives, and come back on every way out.
class PollAndStatusPaused {
public:
    explicit PollAndStatusPaused(Form1& form) : form_(form) {
        form_.Timer1.SetEnabled(false);
        form_.Timer2.SetEnabled(false);
    }
    ~PollAndStatusPaused() {
        form_.Timer1.SetEnabled(true);
        form_.Timer2.SetEnabled(true);
    }

private:
    Form1& form_;
};

// Both attempts with the blocking pause between them; the user hears of a failure only after the second. A
// port that closed during the first attempt, or a file that cannot be flashed, would only fail the second the
// same way.
bool FlashWithRetry(Form1& form, const std::string& path) {
    FirmwareWindow window(form);
    FirmwareAttempt outcome = FirmwareAttempt::Failed;
    for (int attempt = 1; attempt <= kFirmwareAttempts && outcome == FirmwareAttempt::Failed; ++attempt) {
        if (attempt > 1 && !form.MSComm1.PortOpen()) break;
        // The pause holds the window still: no events run during it.
        if (attempt > 1) form.Services().Events.Sleep(kRetryPauseMs);
        outcome = UpdateFirmware(form.prowidget, window, path);
    }
    const bool updated = outcome == FirmwareAttempt::Updated;
    if (!updated) form.Services().Messages.Show(kUpdateFailedText);
    return updated;
}

}  // namespace

void Form1::Command4_Click() {
    if (updatingFirmware_) return;
    std::string path;
    {
        ScopedFlag busy(updatingFirmware_);
        PollAndStatusPaused paused(*this);
        OpenFileNameRecord& record = CommonDialog.OpenDialogRecord;
        record.lpstrFilter = kFirmwareFilter;
        record.lpstrTitle = kFirmwareDialogTitle;
        record.lpstrInitialDir = WithTrailingSeparator(services_.LibraryFolder);
        FileDialogService* dialog = services_.FileDialog;
        FileDialogResult chosen;
        try {
            chosen =
                CommonDialog.ShowOpenFileDialog(dialog, dialog != nullptr ? dialog->OwnerWindow() : 0, kTrue);
        } catch (const std::exception& failure) {
            services_.Messages.Show(failure.what());
            return;
        }
        if (chosen.Cancelled == kTrue) return;
        if (!chosen.FileNames.empty()) path = JoinPath(chosen.Directory, chosen.FileName(1));
    }
    // No event runs between the dialog and the update, so the poll and status stay paused in effect.
    UpdateFirmwareFromFile(path);
}

bool Form1::UpdateFirmwareFromFile(const std::string& path) {
    if (updatingFirmware_) return false;
    bool updated = false;
    {
        ScopedFlag busy(updatingFirmware_);
        {
            PollAndStatusPaused paused(*this);
            if (!path.empty()) updated = FlashWithRetry(*this, path);
            // The update read the port itself: a partial frame carried from before it belongs to nothing now.
            DropCarriedFrame();
        }
        NoticeClosedLink();
        if (MSComm1.PortOpen()) prowidget.SendGetParameters();
    }
    if (const std::optional<int> chosen = std::exchange(portChosenDuringUpdate_, std::nullopt))
        ChoosePort(*chosen);
    return updated;
}
