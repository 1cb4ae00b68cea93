// Where the report goes when the desktop refuses it, and which Notepads are tried.
#include "report/fallbacks.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/test_support.h"

namespace {

TEST(Fallbacks, OnlyAFolderThatRefusesTheReportSendsItToTheTemporaryFolder) {
    // As Windows answers a create in the desktop (or the first write into a report it let open).
    const struct {
        unsigned long error;
        bool desktopIsFolder;
        bool refused;
    } cases[] = {
        {ERROR_ACCESS_DENIED, true, true},       // Controlled Folder Access, or an ACL that refuses new files
        {ERROR_FILE_NOT_FOUND, true, true},      // Controlled Folder Access, on Windows 10 and 11
        {ERROR_PATH_NOT_FOUND, true, true},      // the same
        {ERROR_WRITE_PROTECT, true, true},       // a protected or read-only medium
        {ERROR_DISK_FULL, true, true},           // a write refused after the create
        {ERROR_INVALID_NAME, true, true},        // whatever else the folder answers
        {ERROR_SHARING_VIOLATION, true, false},  // the report held open by another run: the desktop took it
        {ERROR_LOCK_VIOLATION, true, false},
        {ERROR_SUCCESS, true, false},
        {ERROR_ACCESS_DENIED, false, true},  // a folder that cannot even be looked at
        {ERROR_WRITE_PROTECT, false, true},
        {ERROR_PATH_NOT_FOUND, false, false},  // the desktop folder is gone: a wrong path, not a refusal
        {ERROR_FILE_NOT_FOUND, false, false},
        {ERROR_DISK_FULL, false, false},
        {ERROR_SHARING_VIOLATION, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FolderRefusedReport(c.error, c.desktopIsFolder), c.refused) << c.error << " " << c.desktopIsFolder;
    }

    const struct {
        std::wstring folder;  // as GetTempPathW answers
        std::wstring report;
    } places[] = {
        {L"C:\\Users\\Zo\u00eb\\AppData\\Local\\Temp\\", L"C:\\Users\\Zo\u00eb\\AppData\\Local\\Temp\\Quillfen.txt"},
        {L"C:\\Temp", L"C:\\Temp\\Quillfen.txt"},
        {L"D:\\", L"D:\\Quillfen.txt"},
        {L"", L""},
    };
    for (const auto& p : places) EXPECT_EQ(TempReportPath(p.folder), p.report) << Narrow(p.folder);
}

TEST(Fallbacks, NotepadIsTriedInTheWindowsFolderThenItsSystem32Copy) {
    const struct {
        std::wstring windowsFolder;
        std::vector<std::wstring> tried;
    } cases[] = {
        {L"C:\\WINDOWS", {L"C:\\WINDOWS\\notepad.exe", L"C:\\WINDOWS\\System32\\notepad.exe"}},
        {L"D:\\Win 11\\", {L"D:\\Win 11\\notepad.exe", L"D:\\Win 11\\System32\\notepad.exe"}},
        {L"", {L"C:\\WINDOWS\\notepad.exe", L"C:\\WINDOWS\\System32\\notepad.exe"}},
    };
    for (const auto& c : cases) EXPECT_EQ(NotepadCandidates(c.windowsFolder), c.tried) << Narrow(c.windowsFolder);

    // Without %SystemRoot% the system's own answer stands in.
    wchar_t system[MAX_PATH + 1] = {};
    ASSERT_NE(GetSystemWindowsDirectoryW(system, MAX_PATH + 1), 0u);
    EXPECT_EQ(WindowsFolder(), _wgetenv(L"SystemRoot"));
    ScopedEnvironment unset(L"SystemRoot", nullptr);
    EXPECT_EQ(WindowsFolder(), system);
}

}  // namespace
