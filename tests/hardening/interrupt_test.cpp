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
    WriteFileBytes(folder / L"script.txt", Utf16WithMark(script));
    const std::wstring firstSection =
        L"Elevation successful)\r\n\r\n========== ENV ==========\r\nstarted = started\r\n";
    // Killed once the first section is on disk and the walks have begun.
    ProcessResult run = RunProcessUntil(
        Cli(L"--out \"" + report + L"\" \"" + (folder / L"script.txt") + L"\""),
        [&] { return TextSoFar(report).find(firstSection + Banner(L"DIR")) != std::wstring::npos; },
        "the report's first section and the DIR banner");
    ASSERT_TRUE(run.interrupted);

    std::string written = ReadFileBytes(report);
    EXPECT_EQ(written.size() % 2, 0u);
    std::wstring text = ReadUtf16File(report);
    ASSERT_TRUE(text.starts_with(kHeaderStart));
    // What was on disk before the kill is still there.
    EXPECT_NE(text.find(firstSection), std::wstring::npos);
    EXPECT_FALSE(text.ends_with(kEndOfFile));
}

// The header of a section whose walk then runs for seconds without writing reaches the disk while the
// walk goes on, and is there when the run is killed.
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
    WriteFileBytes(folder / L"script.txt", Utf16WithMark(script));
    const std::wstring header = Banner(L"FILEFIND") + L"\r\nSearching for \"" + stem + L"-*.bin\"\r\n";
    // The search writes nothing else until its first digest is made: the header can only be the end of
    // the report while the walk goes on if it was written out on its own.
    ProcessResult run = RunProcessUntil(
        Cli(L"--out \"" + report + L"\" \"" + (folder / L"script.txt") + L"\""),
        [&] { return TextSoFar(report).ends_with(header); }, "the search's header at the end of the report");
    ASSERT_TRUE(run.interrupted);
    const std::wstring text = ReadUtf16File(report);
    EXPECT_TRUE(text.ends_with(header)) << Narrow(text);
}

}  // namespace
