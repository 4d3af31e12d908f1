#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "dialogs/centring.h"
#include "dialogs/file_dialog_service.h"
#include "dialogs/open_file_name.h"
#include "stuff/vb_boolean.h"

// A multiple selection holds at most this many names.
inline constexpr int kNameListSize = 200;

// The dialog's reply could not be split into a directory and names.
class FileDialogError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct FileDialogResult {
    // Number of chosen names; 0 when cancelled.
    std::int16_t FileCount = 0;
    // The chosen names without directory; entry n of the list is FileNames[n - 1] (or FileName(n)).
    std::vector<std::string> FileNames;
    // The chosen files' directory: with its separator for one file, as the dialog gave it for a list.
    std::string Directory;
    VBool Cancelled = kFalse;

    // Entry n (1 to FileCount) of the list; out_of_range otherwise.
    const std::string& FileName(int n) const { return FileNames.at(static_cast<std::size_t>(n - 1)); }
};

// The open-file dialog module: its one dialog record, kept from use to use, and the operation over it.
class ZEVID_CommonDialog {
public:
    // Callers fill lpstrFilter, lpstrTitle and lpstrInitialDir before a use; the rest is the operation's.
    OpenFileNameRecord OpenDialogRecord;
    // The owner of the last use, for the centring hook.
    WindowHandle DialogOwner = 0;

    // Shows the system's dialog (through `system`; none counts as a failed dialog), centred over `owner` when
    // centreOnOwner is True (-1), on the screen for any other value. A cancelled or failed dialog gives
    // Cancelled True and nothing else; a reply that cannot be split throws FileDialogError.
    FileDialogResult ShowOpenFileDialog(FileDialogService* system, WindowHandle owner, VBool centreOnOwner);

    // Splits what the dialog wrote into the record into directory and names.
    static FileDialogResult SplitChosenFiles(const OpenFileNameRecord& record);

private:
    void CentreOnOwnerHook(FileDialogService& system, WindowHandle dialog);
    void CentreOnScreenHook(FileDialogService& system, WindowHandle dialog);
};
