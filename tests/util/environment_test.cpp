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
        EXPECT_EQ(std::wstring(ExpandEnvironment(c.text).get()), c.expanded);
        const std::wstring longText = padding + c.text;
        const std::wstring longExpanded = ExpandEnvironment(longText.c_str()).get();
        EXPECT_EQ(longExpanded.compare(0, padding.size(), padding), 0);
        EXPECT_EQ(longExpanded.substr(std::min(padding.size(), longExpanded.size())), c.expanded);
    }
}

TEST_F(EnvironmentTable, AShortTextThatGrowsBeyondTheLimitIsExpandedWhole) {
    const std::wstring big(20000, L'b');
    ScopedEnvironment value(L"QFBIG", big.c_str());
    const std::wstring expanded = ExpandEnvironment(L"%QFBIG%-%qfbig%-%nosuch%QFBIG%").get();
    ASSERT_EQ(expanded.size(), 2 * big.size() + wcslen(L"--%nosuch%QFBIG%"));
    EXPECT_EQ(expanded.compare(0, big.size(), big), 0);
    EXPECT_EQ(expanded.compare(big.size() + 1, big.size(), big), 0);
    EXPECT_EQ(expanded[big.size()], L'-');
    EXPECT_EQ(expanded.substr(2 * big.size() + 1), L"-%nosuch%QFBIG%");
}

}  // namespace
