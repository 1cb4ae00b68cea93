// A scan ended from outside (the window closed, the process killed) leaves a report that holds
// everything written up to that moment, in whole UTF-16 code units.
#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

TEST(Hardening, AKilledScanLeavesTheHeaderAndWholeCodeUnits) {
    ScratchFolder folder;
    std::wstring script = L":ENV\r\nstarted\r\n:DIR\r\n";
    for (int i = 0; i < 20; ++i) script += L"%SystemRoot% /sub /md5\r\n";
    script += L":CONTENTS\r\n";
    WriteFileBytes(folder / L"big.txt", std::string(64 << 20, 'x'));
    for (int i = 0; i < 20; ++i) script += folder.path() + L"\\big.txt\r\n";
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(script.data()), script.size() * sizeof(wchar_t));
    WriteFileBytes(folder / L"script.txt", bytes);

    std::wstring report = folder / L"report.txt";
    ProcessResult run = RunProcess(L"\"" + ExecutableFolder() + L"\\quillfen-cli.exe\" --out \"" + report + L"\" \"" +
                                       (folder / L"script.txt") + L"\"",
                                   {}, 1000);
    ASSERT_TRUE(run.timedOut) << "the scan ended before it could be interrupted";

    std::string written = ReadFileBytes(report);
    EXPECT_EQ(written.size() % 2, 0u);
    std::wstring text = ReadUtf16File(report);
    const std::wstring header = L"Quillfen v1.0 by tarnwick (11.01.10)\r\nLog created at ";
    ASSERT_EQ(text.rfind(header, 0), 0u);
    // Everything up to the kill is there: the whole header and the first section.
    EXPECT_NE(text.find(L"Elevation successful)\r\n\r\n========== ENV ==========\r\nstarted = started\r\n"),
              std::wstring::npos);
    EXPECT_FALSE(text.ends_with(L"-=End Of File=-"));
}

}  // namespace
