// Environment expansion: the system call for ordinary texts and our own routine for texts beyond its
// limit follow the same rules, checked on one table of cases.
#include "util/environment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/support/test_support.h"

namespace {

struct Case {
    const wchar_t* text;
    const wchar_t* expanded;
};

// The rules as the system call applies them.
const Case kCases[] = {
    {L"", L""},
    {L"plain text", L"plain text"},
    {L"%QFA%", L"aa"},
    {L"%qfa%", L"aa"},  // names match without regard to case
    {L"x%QFA%y%QFA%z", L"xaayaaz"},
    {L"%QFA%%QFA%", L"aaaa"},
    {L"%QFA%QFA%", L"aaQFA%"},  // the sign that closes a reference opens nothing
    // An unknown name is copied whole, closing sign included, and the scan resumes after it.
    {L"%nosuch%windir%", L"%nosuch%windir%"},
    {L"%nosuch%%QFA%", L"%nosuch%aa"},
    {L"x%nosuch%QFA%y", L"x%nosuch%QFA%y"},
    {L"%nosuch%b%nosuch%QFA%", L"%nosuch%b%nosuch%QFA%"},
    // The empty name names nothing.
    {L"%%", L"%%"},
    {L"%%QFA%", L"%%QFA%"},
    {L"%%%", L"%%%"},
    {L"%%%%", L"%%%%"},
    {L"%QFA%%", L"aa%"},
    {L"%%QFA%%", L"%%QFA%%"},
    // A sign with no partner stays.
    {L"%", L"%"},
    {L"100%", L"100%"},
    {L"%QFA", L"%QFA"},
    {L"%QFA% and %QFA", L"aa and %QFA"},
    // A set empty value expands to nothing; blanks belong to the name.
    {L"%QFE%x", L"x"},
    {L"% QFA%", L"% QFA%"},
    {L"%QFA %", L"%QFA %"},
    {L"%Q F%", L"spaced"},
    {L"%q f%", L"spaced"},
    // "=" may start a name (as the hidden per-drive variables do) but nothing else holds one.
    {L"%=QFZ%", L"zed"},
    {L"%QF%", L"B=zz"},
    {L"%QF=B%", L"%QF=B%"},
    {L"%=%", L"%=%"},
    // Case folding goes beyond a to z.
    {L"%\u00c9QF%", L"acute"},
    {L"%\u00e9qf%", L"acute"},
};

class EnvironmentTable : public ::testing::Test {
protected:
    ScopedEnvironment a_{L"QFA", L"aa"};
    ScopedEnvironment empty_{L"QFE", L""};
    ScopedEnvironment hidden_{L"=QFZ", L"zed"};
    ScopedEnvironment equals_{L"QF", L"B=zz"};
    ScopedEnvironment blank_{L"Q F", L"spaced"};
    ScopedEnvironment accented_{L"\u00e9QF", L"acute"};
    ScopedEnvironment unset_{L"nosuch", nullptr};
};

std::wstring SystemExpansion(const std::wstring& text) {
    wchar_t buffer[1024] = {};
    DWORD length = ExpandEnvironmentStringsW(text.c_str(), buffer, 1024);
    return length == 0 || length > 1024 ? L"<failed>" : std::wstring(buffer);
}

TEST_F(EnvironmentTable, ShortAndLongTextsFollowTheSystemCall) {
    // Text without a percent sign in front of each case takes it beyond the system call's limit.
    const std::wstring padding(40000, L'x');
    for (const Case& c : kCases) {
        SCOPED_TRACE(Narrow(c.text));
        EXPECT_EQ(SystemExpansion(c.text), c.expanded);
        EXPECT_EQ(ExpandEnvironment(c.text), c.expanded);
        // The x86 build under WOW64 expands every text by the same rules.
        EXPECT_EQ(ExpandEnvironment(c.text, true), c.expanded);
        const std::wstring longText = padding + c.text;
        const std::wstring longExpanded = ExpandEnvironment(longText.c_str());
        EXPECT_EQ(longExpanded.compare(0, padding.size(), padding), 0);
        EXPECT_EQ(longExpanded.substr(std::min(padding.size(), longExpanded.size())), c.expanded);
    }
}

TEST_F(EnvironmentTable, AShortTextThatGrowsBeyondTheLimitIsExpandedWhole) {
    const std::wstring big(20000, L'b');
    ScopedEnvironment value(L"QFBIG", big.c_str());
    const std::wstring expanded = ExpandEnvironment(L"%QFBIG%-%qfbig%-%nosuch%QFBIG%");
    ASSERT_EQ(expanded.size(), 2 * big.size() + wcslen(L"--%nosuch%QFBIG%"));
    EXPECT_EQ(expanded.compare(0, big.size(), big), 0);
    EXPECT_EQ(expanded.compare(big.size() + 1, big.size(), big), 0);
    EXPECT_EQ(expanded[big.size()], L'-');
    EXPECT_EQ(expanded.substr(2 * big.size() + 1), L"-%nosuch%QFBIG%");
}

TEST(NativeVariableName, OnlyTheRedirectedNamesUnderWow64) {
    const struct {
        const wchar_t* name;
        bool native;
        const wchar_t* looked;
    } rows[] = {
        {L"ProgramFiles", true, L"ProgramW6432"},
        {L"PROGRAMFILES", true, L"ProgramW6432"},
        {L"programfiles", true, L"ProgramW6432"},
        {L"CommonProgramFiles", true, L"CommonProgramW6432"},
        {L"commonPROGRAMfiles", true, L"CommonProgramW6432"},
        {L"PROCESSOR_ARCHITECTURE", true, L"PROCESSOR_ARCHITEW6432"},
        {L"processor_architecture", true, L"PROCESSOR_ARCHITEW6432"},
        {L"PROCESSOR_ARCHITECTURE", false, L"PROCESSOR_ARCHITECTURE"},
        {L"PROCESSOR_ARCHITEW6432", true, L"PROCESSOR_ARCHITEW6432"},
        {L"PROCESSOR_IDENTIFIER", true, L"PROCESSOR_IDENTIFIER"},
        // Named apart already, or not redirected at all.
        {L"ProgramFiles(x86)", true, L"ProgramFiles(x86)"},
        {L"CommonProgramFiles(x86)", true, L"CommonProgramFiles(x86)"},
        {L"ProgramW6432", true, L"ProgramW6432"},
        {L"ProgramData", true, L"ProgramData"},
        {L"ProgramFiles ", true, L"ProgramFiles "},
        {L"ProgramFiles", false, L"ProgramFiles"},
        {L"CommonProgramFiles", false, L"CommonProgramFiles"},
    };
    for (const auto& row : rows) EXPECT_EQ(NativeVariableName(row.name, row.native), row.looked) << Narrow(row.name);
}

// The environment WOW64 gives a 32-bit process on 64-bit Windows.
class Wow64Environment : public ::testing::Test {
protected:
    ScopedEnvironment programFiles_{L"ProgramFiles", L"C:\\Program Files (x86)"};
    ScopedEnvironment programFilesX86_{L"ProgramFiles(x86)", L"C:\\Program Files (x86)"};
    ScopedEnvironment programW6432_{L"ProgramW6432", L"C:\\Program Files"};
    ScopedEnvironment common_{L"CommonProgramFiles", L"C:\\Program Files (x86)\\Common Files"};
    ScopedEnvironment commonW6432_{L"CommonProgramW6432", L"C:\\Program Files\\Common Files"};
    ScopedEnvironment architecture_{L"PROCESSOR_ARCHITECTURE", L"x86"};
    ScopedEnvironment nativeArchitecture_{L"PROCESSOR_ARCHITEW6432", L"AMD64"};
};

TEST_F(Wow64Environment, TheNativeFoldersInPlaceOfTheX86Ones) {
    const struct {
        const wchar_t* text;
        const wchar_t* native;  // as the x86 build under WOW64 expands it, like the x64 build
        const wchar_t* own;     // as the process's own values have it
    } rows[] = {
        {L"%ProgramFiles%\\app\\a.exe", L"C:\\Program Files\\app\\a.exe", L"C:\\Program Files (x86)\\app\\a.exe"},
        {L"%programfiles%", L"C:\\Program Files", L"C:\\Program Files (x86)"},
        {L"%CommonProgramFiles%\\x", L"C:\\Program Files\\Common Files\\x",
         L"C:\\Program Files (x86)\\Common Files\\x"},
        {L"%ProgramFiles(x86)%", L"C:\\Program Files (x86)", L"C:\\Program Files (x86)"},
        {L"%ProgramW6432%", L"C:\\Program Files", L"C:\\Program Files"},
        {L"%ProgramFiles%%ProgramFiles", L"C:\\Program Files%ProgramFiles", L"C:\\Program Files (x86)%ProgramFiles"},
        {L"%nosuch%ProgramFiles%", L"%nosuch%ProgramFiles%", L"%nosuch%ProgramFiles%"},
        {L"%PROCESSOR_ARCHITECTURE%", L"AMD64", L"x86"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(Narrow(row.text));
        EXPECT_EQ(ExpandEnvironment(row.text, true), row.native);
        EXPECT_EQ(ExpandEnvironment(row.text, false), row.own);
    }
    // Where the native variable is not set, the reference keeps the process's own value.
    ScopedEnvironment noNative(L"CommonProgramW6432", nullptr);
    EXPECT_EQ(ExpandEnvironment(L"%CommonProgramFiles%", true), L"C:\\Program Files (x86)\\Common Files");
}

}  // namespace
