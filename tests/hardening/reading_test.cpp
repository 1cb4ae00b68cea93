// A whole run of the console front end over a file that would hold it up: the report's own, read while
// it is written. (Things that are not files: the FILE, CONTENTS and DIR cases on NotFiles and a FIFO.)
#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

TEST(Hardening, ContentsOfTheReportItselfEndsWithWhatWasWrittenBeforeIt) {
    ScratchFolder folder;
    const std::wstring report = folder / L"report.txt";
    const ProcessResult run = RunCliScript(folder, L":CONTENTS\r\n" + report + L"\r\n:ENV\r\nafter\r\n", report);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    const std::wstring text = ReadUtf16File(report);
    // The file is read up to the size it had when CONTENTS opened it: up to the " - " of its own line.
    const std::wstring line = L"\r\n" + report + L" - ";
    const size_t at = text.find(line + L"Opened succesfully.");
    ASSERT_NE(at, std::wstring::npos) << Narrow(text.substr(0, 2000));
    const std::wstring before = text.substr(0, at + line.size());
    WriteFileBytes(folder / L"copy", Utf16Bytes(before));
    EXPECT_EQ(text, before + L"Opened succesfully.\r\n\r\n" + AsTextModeReadsIt(folder / L"copy") + L"\r\n" +
                        Banner(L"ENV") + L"after = after\r\n" + kEndOfFile);
}

}  // namespace
