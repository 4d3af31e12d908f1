#pragma once

#include <cstdint>
#include <string>

// A window as the dialog module sees it: an opaque handle that the file dialog service gives meaning to; 0 is
// no window.
using WindowHandle = std::uintptr_t;

// The system's open-file flags the module sets.
inline constexpr std::uint32_t OFN_HIDEREADONLY = 0x4;
inline constexpr std::uint32_t OFN_ALLOWMULTISELECT = 0x200;
inline constexpr std::uint32_t OFN_CREATEPROMPT = 0x2000;
inline constexpr std::uint32_t OFN_EXPLORER = 0x80000;
inline constexpr std::uint32_t OFN_NODEREFERENCELINKS = 0x100000;
inline constexpr std::uint32_t OFN_LONGNAMES = 0x200000;
inline constexpr std::uint32_t kOpenDialogFlags = OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT | OFN_CREATEPROMPT |
                                                  OFN_EXPLORER | OFN_NODEREFERENCELINKS | OFN_LONGNAMES;
static_assert(kOpenDialogFlags == 0x382204);

// The size the system's 32-bit open-file record declares for itself.
inline constexpr std::uint32_t kOpenFileNameSize = 76;
inline constexpr std::uint32_t kFileTitleChars = 2048;
// Each use extends the file buffer by this many spaces and one NUL.
inline constexpr std::size_t kFileBufferGrowthSpaces = 2047;

// The fields of the system's open-file record that mean something here. Strings are byte strings in the
// system's code page (UTF-8 on Linux) and may hold NULs: the filter list separates its pairs with them and
// the file buffer returns a multiple selection with them.
struct OpenFileNameRecord {
    std::uint32_t lStructSize = 0;
    WindowHandle hwndOwner = 0;
    // Description/pattern pairs, every item followed by a NUL except the last.
    std::string lpstrFilter;
    // 0: the dialog starts with the first pair.
    std::uint32_t nFilterIndex = 0;
    // In: the initial file name up to its first NUL. Out: the chosen path, or the directory and the names.
    std::string lpstrFile;
    std::uint32_t nMaxFile = 0;
    // Out: the chosen file's name when one file was chosen; spaces otherwise.
    std::string lpstrFileTitle;
    std::uint32_t nMaxFileTitle = 0;
    std::string lpstrInitialDir;
    std::string lpstrTitle;
    std::uint32_t Flags = 0;
    // Out: characters in lpstrFile before the (first) file name.
    std::uint16_t nFileOffset = 0;
    std::uint16_t nFileExtension = 0;
};
