// The permissions of a machine-wide install folder outside Program Files, read by the Windows test program
// on the folder that the Linux suite's installer test names in VANTOR_TEST_INSTALL_FOLDER
// (tests/wine/installer_test.cpp): no user but the administrators and SYSTEM may write there.

#include <gtest/gtest.h>

#include <aclapi.h>

#include "platform/win32/environment.h"
#include "platform/win32/text.h"

namespace {

// What GetNamedSecurityInfoW hands out, freed with its descriptor.
struct Permissions {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    ~Permissions() { LocalFree(descriptor); }
};

// Wine keeps no file permissions: it answers every file with ones made from the Unix mode, and its icacls
// changes nothing.
bool IsWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

TEST(InstallFolder, AdministratorsAndSystemMayWriteUsersReadAndExecute) {
    const auto folder = EnvironmentVariable("VANTOR_TEST_INSTALL_FOLDER");
    if (!folder) GTEST_SKIP() << "VANTOR_TEST_INSTALL_FOLDER names no install folder";
    if (IsWine())
        GTEST_SKIP() << "wine keeps no file permissions: it shows ones made from the Unix mode, and its "
                        "icacls changes nothing";
    Permissions permissions;
    ASSERT_EQ(
        GetNamedSecurityInfoW(Widen(*folder).c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &permissions.owner,
                              nullptr, &permissions.dacl, nullptr, &permissions.descriptor),
        static_cast<DWORD>(ERROR_SUCCESS))
        << *folder;
    EXPECT_TRUE(IsWellKnownSid(permissions.owner, WinBuiltinAdministratorsSid));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(permissions.descriptor, &control, &revision);
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "the folder inherits";
    ASSERT_NE(permissions.dacl, nullptr) << "everyone may do anything";
    // FILE_GENERIC_WRITE would not do: it shares READ_CONTROL and SYNCHRONIZE with reading.
    constexpr DWORD kWrite = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                             FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                             GENERIC_ALL;
    constexpr DWORD kReadAndExecute = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
    bool usersRead = false;
    for (DWORD index = 0; index < permissions.dacl->AceCount; ++index) {
        void* entry = nullptr;
        ASSERT_TRUE(GetAce(permissions.dacl, index, &entry));
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid))
            continue;
        EXPECT_EQ(allowed->Mask & kWrite, 0u) << "entry " << index << " lets someone else write";
        usersRead |=
            IsWellKnownSid(sid, WinBuiltinUsersSid) && (allowed->Mask & kReadAndExecute) == kReadAndExecute;
    }
    EXPECT_TRUE(usersRead);
}

}  // namespace
