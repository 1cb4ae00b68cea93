// Which Notepads are tried.
#include "report/fallbacks.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/test_support.h"

namespace {

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
