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

    std::wstring report = folder / L"report.txt";
    ProcessResult run = RunCliScript(folder, script, report, L"", 1000, Overrun::Expected);
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

// The header of a section whose walk then runs for seconds without writing is on disk when the run
// is killed: it waits in the buffer no longer than a flush interval.
TEST(Hardening, AKilledScanLeavesTheHeaderOfASilentWalk) {
    ScratchFolder folder;
    // Many names for one large file: the search digests each of them before it writes a line.
    const std::wstring stem = L"qfsilent" + std::to_wstring(GetCurrentProcessId());
    WriteFileBytes(folder / (stem + L"-0.bin"), std::string(64 << 20, 'y'));
    for (int i = 1; i < 40; ++i) {
        ASSERT_TRUE(CreateHardLinkW((folder / (stem + L"-" + std::to_wstring(i) + L".bin")).c_str(),
                                    (folder / (stem + L"-0.bin")).c_str(), nullptr));
    }
    const std::wstring script = L":FILEFIND\r\n" + stem + L"-*.bin\r\n";

    const std::wstring report = folder / L"report.txt";
    ProcessResult run = RunCliScript(folder, script, report, L"", 1000, Overrun::Expected);
    ASSERT_TRUE(run.timedOut) << "the search ended before it could be interrupted";
    const std::wstring text = ReadUtf16File(report);
    EXPECT_TRUE(text.ends_with(L"\r\n========== FILEFIND ==========\r\n\r\nSearching for \"" + stem + L"-*.bin\"\r\n"))
        << Narrow(text);
}

}  // namespace
