#include "dialogs/common_dialog.h"

#include <exception>

namespace {

constexpr char kNul = '\0';

FileDialogResult CancelledResult() {
    FileDialogResult result;
    result.Cancelled = kTrue;
    return result;
}

// The system dialog writes its reply over the front of the caller's buffers and leaves the rest as it was; a
// reply that does not fit is the dialog's failure.
bool WriteReplyInto(OpenFileNameRecord& record, const OpenFileNameReply& reply) {
    if (reply.File.size() > record.lpstrFile.size()) return false;
    if (!reply.FileTitle.empty() && reply.FileTitle.size() + 1 > record.lpstrFileTitle.size()) return false;
    record.lpstrFile.replace(0, reply.File.size(), reply.File);
    if (!reply.FileTitle.empty())
        record.lpstrFileTitle.replace(0, reply.FileTitle.size() + 1, reply.FileTitle + kNul);
    record.nFileOffset = reply.FileOffset;
    return true;
}

bool IsBlank(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

}  // namespace

FileDialogResult ZEVID_CommonDialog::ShowOpenFileDialog(FileDialogService* system, WindowHandle owner,
                                                        VBool centreOnOwner) {
    OpenFileNameRecord& record = OpenDialogRecord;
    DialogOwner = owner;
    record.lStructSize = kOpenFileNameSize;
    record.hwndOwner = owner;
    record.lpstrFileTitle.assign(kFileTitleChars, ' ');
    record.nMaxFileTitle = kFileTitleChars;
    // Only ever extended, so the previous choice stays in front and is offered as the initial file name.
    record.lpstrFile.append(kFileBufferGrowthSpaces, ' ');
    record.lpstrFile.push_back(kNul);
    record.nMaxFile = static_cast<std::uint32_t>(record.lpstrFile.size());
    record.Flags = kOpenDialogFlags;
    if (system == nullptr) return CancelledResult();

    bool hookInstalled = true;
    const bool overOwner = centreOnOwner == kTrue;
    auto hook = [&](WindowHandle dialog) {
        if (!hookInstalled) return;
        hookInstalled = false;
        if (overOwner)
            CentreOnOwnerHook(*system, dialog);
        else
            CentreOnScreenHook(*system, dialog);
    };

    // A dialog that fails and one the user cancels are not told apart.
    OpenFileNameReply reply;
    try {
        reply = system->GetOpenFileName(record, hook);
    } catch (const std::exception&) {
        return CancelledResult();
    }
    if (!reply.Chosen || !WriteReplyInto(record, reply)) return CancelledResult();
    return SplitChosenFiles(record);
}

FileDialogResult ZEVID_CommonDialog::SplitChosenFiles(const OpenFileNameRecord& record) {
    const std::string& file = record.lpstrFile;
    FileDialogResult result;

    if (!IsBlank(record.lpstrFileTitle)) {
        const std::size_t offset = record.nFileOffset;
        const std::size_t end = file.find(kNul);
        if (offset > file.size() || end == std::string::npos || end < offset)
            throw FileDialogError("The file dialog returned a path without a file name.");
        result.Directory = file.substr(0, offset);
        result.FileNames = {file.substr(offset, end - offset)};
        result.FileCount = 1;
        return result;
    }

    // The list form: directory NUL name NUL ... name NUL NUL. The name after a NUL is the last one when the
    // next NUL after it is the start of the closing pair.
    const std::string pair{kNul, kNul};
    auto malformed = [] {
        return FileDialogError("The file dialog returned a list of files that is not closed.");
    };
    std::vector<std::string> nameList;
    auto addName = [&nameList](std::string name) {
        if (nameList.size() == static_cast<std::size_t>(kNameListSize))
            throw FileDialogError("More than " + std::to_string(kNameListSize) +
                                  " files were chosen; choose at most " + std::to_string(kNameListSize) +
                                  ".");
        nameList.push_back(std::move(name));
    };
    std::size_t last = 0;  // index just past the previous NUL
    bool directorySeen = false;
    while (true) {
        const std::size_t next = file.find(kNul, last);
        if (next == std::string::npos) throw malformed();
        std::string piece = file.substr(last, next - last);
        if (directorySeen) {
            addName(std::move(piece));
        } else {
            result.Directory = std::move(piece);
            directorySeen = true;
        }
        const std::size_t following = file.find(kNul, next + 1);
        if (following == std::string::npos) throw malformed();
        if (file.compare(following, 2, pair) == 0) {
            addName(file.substr(next + 1, following - next - 1));
            break;
        }
        last = next + 1;
    }
    result.FileNames = std::move(nameList);
    result.FileCount = static_cast<std::int16_t>(result.FileNames.size());
    return result;
}

void ZEVID_CommonDialog::CentreOnOwnerHook(FileDialogService& system, WindowHandle dialog) {
    const WindowPosition at =
        CentreOverOwner(system.GetWindowRect(DialogOwner), system.GetWindowRect(dialog));
    system.MoveWindow(dialog, at.X, at.Y);
}

void ZEVID_CommonDialog::CentreOnScreenHook(FileDialogService& system, WindowHandle dialog) {
    const WindowPosition at = CentreOnScreen(system.GetScreenSize(), system.GetWindowRect(dialog));
    system.MoveWindow(dialog, at.X, at.Y);
}
