// Where a run's report goes and whose machine it shows: the signed-in user's when the program runs as
// another account, a refusing desktop's fallback, and never over the script itself.
#include <gtest/gtest.h>

#include <optional>

#include "app/scan/scan.h"
#include "tests/support/test_support.h"

namespace {

std::wstring Body(const std::wstring& report) { return SplitReportHeader(report).body; }

TEST(ReportPlace, ARunAsAnotherAccountShowsTheSignedInUsersDesktopRegistryAndEnvironment) {
    ScopedEnvironment name(L"USERNAME", L"admin");
    ScopedEnvironment profile(L"USERPROFILE", L"C:\\users\\admin");
    MadeUpSignedInUser user;
    user.hive().SetString(L"seen", L"the signed-in user's", L"Software\\QuillfenUserTest");
    std::wstring script =
        L":REG\r\nHKCU\\Software\\QuillfenUserTest\r\n:REGFIND\r\nsigned-in "
        L"user's\r\n:ENV\r\n%USERPROFILE%\r\n%USERNAME%";
    ScanResult result;
    ASSERT_EQ(RunScan(script.data(), ScanOptions(), &result), ScanOutcome::Completed);
    EXPECT_EQ(result.reportPath, user.desktopReport());

    const std::wstring report = ReadUtf16File(user.desktopReport());
    ReportParts parts = SplitReportHeader(report);
    // The creation line names the account the program runs as, as always; the next line the user shown.
    EXPECT_TRUE(parts.header.ends_with(L" by admin (Administrator - Elevation successful)\r\n"))
        << Narrow(parts.header);
    EXPECT_EQ(parts.body,
              std::wstring(L"Signed-in user: ") + MadeUpSignedInUser::kSid +
                  L" (the desktop, HKCU, HKCR and environment in this report are this user's)\r\n"
                  L"\r\n========== REG ==========\r\n"
                  L"\r\n[HKEY_CURRENT_USER\\Software\\QuillfenUserTest]\r\n"
                  L"\"seen\"=\"the signed-in user's\"\r\n\r\n"
                  L"\r\n========== REGFIND ==========\r\n\r\nSearching for \"signed-in user's\"\r\n"
                  L"[HKEY_CURRENT_USER\\Software\\QuillfenUserTest]\r\n\"seen\"=\"the signed-in user's\"\r\n"
                  L"[HKEY_USERS\\" +
                  std::wstring(MadeUpSignedInUser::kSid) +
                  L"\\Software\\QuillfenUserTest]\r\n\"seen\"=\"the signed-in user's\"\r\n"
                  L"\r\n========== ENV ==========\r\n%USERPROFILE% = " +
                  user.profile() + L"\r\n%USERNAME% = bob\r\n" + kEndOfFile);

    // A desktop that answers "file not found" sends the report to that user's temporary folder.
    ASSERT_TRUE(DeleteFileW(user.desktopReport().c_str()));
    ASSERT_TRUE(MakeReportUncreatable(user.desktop()));
    std::wstring again = L":ENV\r\n%TEMP%";
    ASSERT_EQ(RunScan(again.data(), ScanOptions(), &result), ScanOutcome::Completed);
    EXPECT_EQ(result.reportPath, user.tempReport());
    EXPECT_EQ(result.desktopRefusal, static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(
        Body(ReadUtf16File(user.tempReport())).ends_with(L"%TEMP% = " + user.profile() + L"\\Temp\r\n" + kEndOfFile));
}

TEST(ReportPlace, NoPlaceTheReportMayGoOverwritesTheScript) {
    const std::string scriptBytes = ":ENV\nx";
    enum class Place { Named, Desktop, TempFallback, UserDesktop, UserTempFallback };
    const struct {
        const char* name;
        Place place;
    } cases[] = {
        {"the path asked for", Place::Named},
        {"the desktop", Place::Desktop},
        {"the temporary folder of a refusing desktop", Place::TempFallback},
        {"the signed-in user's desktop", Place::UserDesktop},
        {"the signed-in user's temporary folder", Place::UserTempFallback},
    };
    for (const auto& c : cases) {
        ScratchDesktop desktop;
        ScratchTemp temp;
        std::optional<MadeUpSignedInUser> user;
        if (c.place == Place::UserDesktop || c.place == Place::UserTempFallback) user.emplace();
        std::wstring scriptPath;
        switch (c.place) {
            case Place::Named:
            case Place::Desktop:
                scriptPath = desktop.report();
                break;
            case Place::TempFallback:
                ASSERT_TRUE(MakeReportUncreatable(desktop.path()));
                scriptPath = temp.report();
                break;
            case Place::UserDesktop:
                scriptPath = user->desktopReport();
                break;
            case Place::UserTempFallback:
                ASSERT_TRUE(MakeReportUncreatable(user->desktop()));
                scriptPath = user->tempReport();
                break;
        }
        WriteFileBytes(scriptPath, scriptBytes);
        std::wstring script = L":ENV\r\nx";
        ScanOptions options;
        options.scriptPath = scriptPath.c_str();
        if (c.place == Place::Named) options.reportPath = scriptPath.c_str();
        ScanResult result;
        EXPECT_EQ(RunScan(script.data(), options, &result), ScanOutcome::ReportIsScript) << c.name;
        EXPECT_EQ(result.reportPath, scriptPath) << c.name;
        EXPECT_EQ(ReadFileBytes(scriptPath), scriptBytes) << c.name;
    }
}

}  // namespace
