// Where the report goes when the desktop refuses it, and which Notepads are tried.
#include "report/fallbacks.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/test_support.h"

namespace {

TEST(Fallbacks, OnlyAFolderThatRefusesTheReportSendsItToTheTemporaryFolder) {
    const struct {
        unsigned long error;
        bool refused;
    } cases[] = {
        {ERROR_ACCESS_DENIED, true},       // Controlled Folder Access, or a folder whose ACL refuses new files
        {ERROR_WRITE_PROTECT, true},       // a protected or read-only medium
        {ERROR_SHARING_VIOLATION, false},  // the report held open by another program: the desktop took it
        {ERROR_LOCK_VIOLATION, false},
        {ERROR_PATH_NOT_FOUND, false},  // the desktop folder is gone: a wrong path,
                                        // not a refusal
        {ERROR_FILE_NOT_FOUND, false},
        {ERROR_DISK_FULL, false},
        {ERROR_SUCCESS, false},
    };
    for (const auto& c : cases) EXPECT_EQ(FolderRefusedReport(c.error), c.refused) << c.error;

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
