// The one reader of a report's header that every test takes a report apart with.
#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

TEST(ReportParts, SplitAfterTheSecondLineBreak) {
    const struct {
        const wchar_t* report;
        bool hasHeader;
        const wchar_t* header;
        const wchar_t* body;
    } cases[] = {
        {L"Quillfen\r\nLog created\r\n\r\nbody\r\n", true, L"Quillfen\r\nLog created\r\n", L"\r\nbody\r\n"},
        {L"Quillfen\r\nLog created\r\n", true, L"Quillfen\r\nLog created\r\n", L""},
        {L"\r\n\r\nrest", true, L"\r\n\r\n", L"rest"},
        {L"Quillfen\r\nLog created", false, L"", L"Quillfen\r\nLog created"},              // cut in the second line
        {L"Quillfen\nLog created\r\nbody", false, L"", L"Quillfen\nLog created\r\nbody"},  // LF alone ends no line
        {L"", false, L"", L""},
    };
    for (const auto& c : cases) {
        ReportParts parts = SplitReportHeader(c.report);
        EXPECT_EQ(parts.hasHeader, c.hasHeader) << Narrow(c.report);
        EXPECT_EQ(parts.header, c.header) << Narrow(c.report);
        EXPECT_EQ(parts.body, c.body) << Narrow(c.report);
        EXPECT_EQ(ReportBody(c.report), c.hasHeader ? std::wstring(c.body) : L"<no header>");
    }
}

}  // namespace
