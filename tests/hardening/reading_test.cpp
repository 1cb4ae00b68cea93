// Whole runs of the console front end over files that would hold a run up: things that are not files,
// and the report's own file read while it is written.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/os_fixtures.h"
#include "tests/support/test_support.h"

namespace {

// Runs the console front end on `script` with the report at `report`; a run still going after a minute
// is ended and fails the test.
ProcessResult RunScript(const ScratchFolder& folder, const std::wstring& script, const std::wstring& report) {
    ProcessResult run = RunCliScript(folder, script, report);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    return run;
}

TEST(Hardening, PipesAndFifosNeverHoldUpARun) {
    ScratchFolder folder;
    CreateDirectoryW((folder / L"odd").c_str(), nullptr);
    const std::wstring fifo = folder / L"odd\\fifo";
    ASSERT_TRUE(MakeLinuxFifo(fifo));
    ASSERT_TRUE(RunLinuxProgram("/usr/bin/touch", "-m -d '2021-11-30 08:05:00 UTC' \"" + UnixPath(fifo) + "\""));
    SilentPipe pipe;
    const std::wstring script = L":FILE\r\n" + fifo + L"\r\n" + pipe.path() + L"\r\n:CONTENTS\r\n" + fifo + L"\r\n" +
                                pipe.path() + L"\r\n:DIR\r\n" + folder / L"odd /md5\r\n";
    RunScript(folder, script, folder / L"report.txt");
    EXPECT_EQ(ReportBody(ReadUtf16File(folder / L"report.txt")),
              L"\r\n========== FILE ==========\r\n"
              L"\r\n" +
                  fifo +
                  L" - Unable to find/read file.\r\n"
                  L"\r\n" +
                  pipe.path() +
                  L" - Unable to find/read file.\r\n"
                  L"\r\n========== CONTENTS ==========\r\n"
                  L"\r\n" +
                  fifo +
                  L" - Unable to open file.\r\n"
                  L"\r\n" +
                  pipe.path() +
                  L" - Unable to open file.\r\n"
                  L"\r\n========== DIR ==========\r\n"
                  L"\r\n" +
                  folder /
                      L"odd - Parameters: \"/md5\"\r\n"
                      L"\r\n---Files---\r\nfifo\t--a--- 0 bytes\t[08:05 30/11/2021]\t[08:05 30/11/2021] (Unable to "
                      L"calculate MD5)"
                      L"\r\n\r\n---Folders---\r\nNone found.\r\n" +
                  kEndOfFile);
    EXPECT_FALSE(pipe.WasOpened());
}

// What CONTENTS shows of `text` stored as UTF-16LE, as the C library's text-mode reading gives it.
std::wstring AsContentsShowsIt(const ScratchFolder& folder, const std::wstring& text) {
    WriteFileBytes(folder / L"copy", std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2));
    std::wstring shown;
    FILE* file = _wfopen((folder / L"copy").c_str(), L"r");
    if (file == nullptr) return L"<cannot read the copy>";
    for (int c; (c = fgetc(file)) != EOF;) {
        if (c != 0) shown += static_cast<wchar_t>(c);
    }
    fclose(file);
    return shown;
}

TEST(Hardening, ContentsOfTheReportItselfEndsWithWhatWasWrittenBeforeIt) {
    ScratchFolder folder;
    const std::wstring report = folder / L"report.txt";
    RunScript(folder, L":CONTENTS\r\n" + report + L"\r\n:ENV\r\nafter\r\n", report);
    const std::wstring text = ReadUtf16File(report);
    // The file is read up to the size it had when CONTENTS opened it: up to the " - " of its own line.
    const std::wstring line = L"\r\n" + report + L" - ";
    const size_t at = text.find(line + L"Opened succesfully.");
    ASSERT_NE(at, std::wstring::npos) << Narrow(text.substr(0, 2000));
    const std::wstring before = text.substr(0, at + line.size());
    EXPECT_EQ(text, before + L"Opened succesfully.\r\n\r\n" + AsContentsShowsIt(folder, before) +
                        L"\r\n\r\n========== ENV ==========\r\nafter = after\r\n" + kEndOfFile);
}

}  // namespace
