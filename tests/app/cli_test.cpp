// The console front end, run as its own process the way automation runs it.
#include <gtest/gtest.h>

#include "report/create_log.h"
#include "tests/support/test_support.h"
#include "util/owned.h"

namespace {

const std::wstring kEnd = L"\r\n-=End Of File=-";

std::wstring Cli(const std::wstring& arguments) {
    return L"\"" + ExecutableFolder() + L"\\quillfen-cli.exe\" " + arguments;
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

// The report's body: everything after the two header lines.
std::wstring Body(const std::wstring& report) {
    size_t first = report.find(L"\r\n");
    size_t second = first == std::wstring::npos ? first : report.find(L"\r\n", first + 2);
    return second == std::wstring::npos ? L"<no header>" : report.substr(second + 2);
}

TEST(Cli, RunsAScriptFileAndPrintsOnlyTheReportPath) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"script.txt", ":COMMENT\r\nx\r\n:ENV\r\nplain\r\n");
    std::wstring report = folder / L"out.txt";
    ProcessResult run = RunProcess(Cli(L"--out " + Quoted(report) + L" " + Quoted(folder / L"script.txt")));
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out, Narrow(report) + "\n");
    EXPECT_NE(run.err.find("line 4 of 4: plain"), std::string::npos) << run.err;
    EXPECT_EQ(Body(ReadUtf16File(report)), L"\r\n========== ENV ==========\r\nplain = plain\r\n" + kEnd);
}

TEST(Cli, ReadsEveryCommonEncodingAndStandardInput) {
    ScratchFolder folder;
    const std::wstring expected = L"\r\n========== ENV ==========\r\ncaf\u00e9 = caf\u00e9\r\n" + kEnd;
    const std::string utf16NoMark("\x3A\0E\0N\0V\0\r\0\n\0c\0a\0f\0\xE9\0", 20);
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"utf16 with mark", "\xFF\xFE" + utf16NoMark},
        {"utf16 without mark", utf16NoMark},
        {"utf8 with mark", "\xEF\xBB\xBF:ENV\r\ncaf\xC3\xA9"},
        {"utf8 without mark", ":ENV\ncaf\xC3\xA9"},
        {"ansi", ":ENV\r\ncaf\xE9"},
    };
    for (const Case& c : cases) {
        WriteFileBytes(folder / L"script.txt", c.bytes);
        std::wstring report = folder / L"out.txt";
        ProcessResult run = RunProcess(Cli(L"--out " + Quoted(report) + L" " + Quoted(folder / L"script.txt")));
        EXPECT_EQ(run.exitCode, 0u) << c.name << ": " << run.err;
        EXPECT_EQ(Body(ReadUtf16File(report)), expected) << c.name;

        ProcessResult piped = RunProcess(Cli(L"--out " + Quoted(report) + L" -"), c.bytes);
        EXPECT_EQ(piped.exitCode, 0u) << c.name << ": " << piped.err;
        EXPECT_EQ(Body(ReadUtf16File(report)), expected) << c.name << " (standard input)";
    }
}

TEST(Cli, WritesTheDesktopReportWhenNoPathIsGiven) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"script.txt", ":ENV\nx");
    OwnedText desktopReport(GetReportPath());
    ASSERT_TRUE(desktopReport);
    ProcessResult run = RunProcess(Cli(Quoted(folder / L"script.txt")));
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out, Narrow(desktopReport.get()) + "\n");
    EXPECT_EQ(Body(ReadUtf16File(desktopReport.get())), L"\r\n========== ENV ==========\r\nx = x\r\n" + kEnd);
    DeleteFileW(desktopReport.get());
}

TEST(Cli, BadUseAndUnreadableScriptsExitTwo) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"empty.txt", "");
    const std::wstring cases[] = {
        L"",
        L"--bogus " + Quoted(folder / L"empty.txt"),
        L"--out",
        L"a.txt b.txt",
        Quoted(folder / L"missing.txt"),
        Quoted(folder.path()),
        Quoted(folder / L"empty.txt"),
    };
    for (const std::wstring& arguments : cases) {
        ProcessResult run = RunProcess(Cli(arguments));
        EXPECT_EQ(run.exitCode, 2u) << Narrow(arguments);
        EXPECT_TRUE(run.out.empty()) << Narrow(arguments) << ": " << run.out;
        EXPECT_EQ(run.err.rfind("quillfen-cli: ", 0), 0u) << Narrow(arguments) << ": " << run.err;
    }
}

TEST(Cli, AReportThatCannotBeCreatedExitsOne) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"script.txt", ":ENV\nx");
    std::wstring report = folder / L"out.txt";
    WriteFileBytes(report, "held");
    HANDLE held = CreateFileW(report.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ProcessResult run = RunProcess(Cli(L"--out " + Quoted(report) + L" " + Quoted(folder / L"script.txt")));
    CloseHandle(held);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(run.err.find("cannot create the report"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFileBytes(report), "held");

    run = RunProcess(Cli(L"--out " + Quoted(folder / L"no\\such\\folder.txt") + L" " + Quoted(folder / L"script.txt")));
    EXPECT_EQ(run.exitCode, 1u);
}

}  // namespace
