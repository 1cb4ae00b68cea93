// Whose machine a run shows: the decision on SIDs as Windows gives them, the header line, and a user's
// environment put together from the registry.
#include "util/report_user.h"

#include <gtest/gtest.h>
#include <windows.h>
// clang-format off
#include <sddl.h>  // needs windows.h first
// clang-format on

#include "tests/support/test_support.h"
#include "util/handles.h"

namespace {

const std::wstring kAdmin = L"S-1-5-21-3623811015-3361044348-30300820-500";
const std::wstring kBob = L"S-1-5-21-3623811015-3361044348-30300820-1001";
// Administrator protection elevates into a hidden account of its own (a "ADMIN_" account).
const std::wstring kShadowAdmin = L"S-1-5-21-3623811015-3361044348-30300820-1004";

TEST(ReportUser, OnlyAnotherSignedInAccountIsDescribedInstead) {
    const struct {
        std::wstring process;
        std::wstring signedIn;
        bool found;
        bool describes;
    } cases[] = {
        {kBob, kBob, true, false},         // an administrator at the keyboard, elevated: the same account
        {kAdmin, kBob, true, true},        // a standard user elevated with an administrator's password
        {kShadowAdmin, kBob, true, true},  // Administrator protection
        {kAdmin, L"s-1-5-21-3623811015-3361044348-30300820-500", true, false},  // the same SID, spelt in lower case
        {L"S-1-5-18", L"", false, false},  // a service or task in session 0: no session user
        {kAdmin, L"", true, false},
        {kAdmin, kBob, false, false},  // nothing found: as the program's own account
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DescribesSignedInUser(c.process, c.signedIn, c.found), c.describes)
            << Narrow(c.process) << " " << Narrow(c.signedIn);
    }

    EXPECT_EQ(SignedInUserLine(L"PC\\bob", kBob),
              L"Signed-in user: PC\\bob, " + kBob +
                  L" (the desktop, HKCU, HKCR and environment in this report are this user's)\r\n");
    EXPECT_EQ(
        SignedInUserLine(L"", kBob),
        L"Signed-in user: " + kBob + L" (the desktop, HKCU, HKCR and environment in this report are this user's)\r\n");
}

TEST(ReportUser, WithoutATokenTheRegistryLaysTheUsersVariablesOverTheProcesss) {
    const std::vector<std::wstring> admin = {L"=C:=C:\\",       L"Path=C:\\WINDOWS",
                                             L"SystemDrive=C:", L"TEMP=C:\\Users\\admin\\AppData\\Local\\Temp",
                                             L"USERNAME=admin", L"USERPROFILE=C:\\Users\\admin"};
    const struct {
        const char* name;
        std::vector<UserSetting> settings;  // in the order the registry gives them
        std::vector<std::wstring> variables;
    } cases[] = {
        {"profile first, then what refers to it",
         {{L"USERPROFILE", L"%SystemDrive%\\Users\\bob", true},
          {L"TEMP", L"%USERPROFILE%\\AppData\\Local\\Temp", true}},
         {L"=C:=C:\\", L"Path=C:\\WINDOWS", L"SystemDrive=C:", L"TEMP=C:\\Users\\bob\\AppData\\Local\\Temp",
          L"USERNAME=admin", L"USERPROFILE=C:\\Users\\bob"}},
        {"names matched without case, new ones added, plain values kept as written",
         {{L"username", L"bob", false}, {L"OneDrive", L"%USERPROFILE%\\OneDrive", false}},
         {L"=C:=C:\\", L"Path=C:\\WINDOWS", L"SystemDrive=C:", L"TEMP=C:\\Users\\admin\\AppData\\Local\\Temp",
          L"username=bob", L"USERPROFILE=C:\\Users\\admin", L"OneDrive=%USERPROFILE%\\OneDrive"}},
        {"an empty value removes the variable",
         {{L"TEMP", L"", false}},
         {L"=C:=C:\\", L"Path=C:\\WINDOWS", L"SystemDrive=C:", L"USERNAME=admin", L"USERPROFILE=C:\\Users\\admin"}},
    };
    for (const auto& c : cases) EXPECT_EQ(UserVariables(admin, c.settings), c.variables) << c.name;

    const wchar_t block[] = L"A=1\0=D:=D:\\x\0TMP=C:\\t\0";
    EXPECT_EQ(EnvironmentEntries(block), (std::vector<std::wstring>{L"A=1", L"=D:=D:\\x", L"TMP=C:\\t"}));
    const struct {
        std::vector<std::wstring> variables;
        std::wstring folder;
    } temps[] = {
        {{L"TEMP=C:\\b", L"TMP=C:\\a"}, L"C:\\a"},  // TMP first, as GetTempPathW
        {{L"temp=C:\\b", L"USERPROFILE=C:\\Users\\bob"}, L"C:\\b"},
        {{L"USERPROFILE=C:\\Users\\bob"}, L"C:\\Users\\bob"},
        {{L"TMP=", L"A=1"}, L""},
    };
    for (const auto& t : temps) EXPECT_EQ(TempFolderOf(t.variables), t.folder) << Narrow(t.folder);
}

TEST(ReportUser, UnderWineTheSessionsUserIsTheProgramsOwnSoNothingIsDescribedInstead) {
    KernelHandle token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()));
    BYTE buffer[256] = {};
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size));
    wchar_t* own = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &own));
    const std::wstring ownSid = own;
    LocalFree(own);
    std::wstring sid;
    EXPECT_TRUE(AskSessionUser(sid));
    EXPECT_EQ(sid, ownSid);
    EXPECT_EQ(FindReportUser(), nullptr);
}

}  // namespace
