#include "script/interpreter.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/os_fixtures.h"
#include "tests/support/test_support.h"
#include "util/handles.h"
#include "util/work_pool.h"

namespace {

TEST(Interpreter, ScriptsAndTheirReports) {
    ScopedEnvironment set(L"QUILLFEN_TEST_VAR", L"C:\\value");
    ScopedEnvironment unset(L"QUILLFEN_NOSUCHVARIABLE", nullptr);
    const struct {
        const wchar_t* script;
        const wchar_t* report;
    } rows[] = {
        // Banners keep the keyword as typed, leading blanks included.
        {L":FILE\r\n:file\r\n:  File  \r\n",
         L"\r\n========== FILE ==========\r\n\r\n========== file ==========\r\n\r\n==========   File ==========\r\n"},
        {L":FILE\t\n:\n:   \n", L"\r\nInvalid Context: FILE\t\r\n\r\nInvalid Context: \r\n\r\nInvalid Context: \r\n"},
        // A colon after a blank is no context line; an unknown context forgets the one before.
        {L" :FILE\n:ENV\n:nope\nx",
         L"\r\nNo Context:  :FILE\r\n\r\n========== ENV ==========\r\n\r\nInvalid Context: nope\r\n"
         L"\r\nNo Context: x\r\n"},
        // Lines split at any run of line breaks.
        {L"a\rb\n\n\nc", L"\r\nNo Context: a\r\n\r\nNo Context: b\r\n\r\nNo Context: c\r\n"},
        {L"   ", L"\r\nNo Context:    \r\n"},
        {L"\r\n\n\r", L""},
        {L"", L""},
        // Command lines, known or not, never change the context.
        {L":ENV\n::csinfo \n:: csinfo\n::\n:::csinfo\n::nothing\n%QUILLFEN_TEST_VAR%",
         L"\r\n========== ENV ==========\r\n%QUILLFEN_TEST_VAR% = C:\\value\r\n"},
        // COMMENT silences payload lines until the next context.
        {L":COMMENT\nanything\n:x:y\n:comment\nmore\n:ENV\nhello",
         L"\r\nInvalid Context: x:y\r\n\r\n========== ENV ==========\r\nhello = hello\r\n"},
        // ENV shows the line as typed and its expansion.
        {L":ENV\nhello\n%quillfen_test_var%\n%QUILLFEN_NOSUCHVARIABLE%\n  %QUILLFEN_TEST_VAR%  ",
         L"\r\n========== ENV ==========\r\nhello = hello\r\n%quillfen_test_var% = C:\\value\r\n"
         L"%QUILLFEN_NOSUCHVARIABLE% = %QUILLFEN_NOSUCHVARIABLE%\r\n  %QUILLFEN_TEST_VAR%   =   C:\\value  \r\n"},
        // Every other context hands each of its lines, in turn, to its handler.
        {L":FILE\nQ:\\qf-none\n%QUILLFEN_NOSUCHVARIABLE%\n:DIR\nQ:\\qf-none",
         L"\r\n========== FILE ==========\r\n\r\nQ:\\qf-none - Unable to find/read file.\r\n"
         L"\r\n%QUILLFEN_NOSUCHVARIABLE% - Unable to find/read file.\r\n"
         L"\r\n========== DIR ==========\r\n\r\nQ:\\qf-none - Unable to find folder.\r\n"},
        {L":FILEFIND\na\\b\n:FOLDERFIND\na\\b\n:ASSOC\n.qf-none",
         L"\r\n========== FILEFIND ==========\r\n\r\nSearching for \"a\\b\"\r\nNo files found.\r\n"
         L"\r\n========== FOLDERFIND ==========\r\n\r\nSearching for \"a\\b\"\r\nNo folders found.\r\n"
         L"\r\n========== ASSOC ==========\r\n\r\n.qf-none\r\nUnable to open extension key.\r\n"},
        {L":REG\nHKXX\\Software\n:regfind\nQf5NoSuchTermAnywhere",
         L"\r\n========== REG ==========\r\n\r\n[HKXX\\Software]\r\nHive unrecognized.\r\n"
         L"\r\n========== regfind ==========\r\n\r\nSearching for \"Qf5NoSuchTermAnywhere\"\r\nNo data found.\r\n"},
        {L":SERVICE\nQfNoSuchService\n:PROCESS\n qf_nothing.exe",
         L"\r\n========== SERVICE ==========\r\n\r\nQfNoSuchService - Unable to open Service Handle.\r\n"
         L"\r\n========== PROCESS ==========\r\n\r\n qf_nothing.exe - Unable to open process handle.\r\n"},
    };
    for (const auto& row : rows) EXPECT_EQ(Interpret(row.script), row.report) << Narrow(row.script);
}

// The banners of every context: the table above and the CONTENTS cases below.
TEST(Interpreter, EveryKeywordHasItsNumber) {
    const wchar_t* const keywords[] = {L"FILE", L"DIR",     L"REG",     L"FILEFIND", L"FOLDERFIND", L"REGFIND",
                                       L"ENV",  L"PROCESS", L"SERVICE", L"ASSOC",    L"CONTENTS",   L"COMMENT"};
    for (int number = 1; number <= 12; ++number) {
        EXPECT_EQ(GetContext(keywords[number - 1]), number) << Narrow(keywords[number - 1]);
    }
    EXPECT_EQ(GetContext(L"fIlE"), 1);
    EXPECT_EQ(GetContext(L"folderfind"), 5);
    EXPECT_EQ(GetContext(L"FILE "), 0);
}

TEST(Interpreter, ContentsShowsTheFileAsTextModeReadsIt) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"bytes.bin", std::string("\x41\x0D\x0A\xE9\x00\x42\x1A\x43", 8));
    ScopedEnvironment set(L"QUILLFEN_SCRATCH", folder.path().c_str());
    EXPECT_EQ(Interpret(L":CONTENTS\n%QUILLFEN_SCRATCH%\\bytes.bin\n%QUILLFEN_SCRATCH%\\missing.txt"),
              L"\r\n========== CONTENTS ==========\r\n"
              L"\r\n%QUILLFEN_SCRATCH%\\bytes.bin - Opened succesfully.\r\n\r\nA\n\u00e9B\r\n"
              L"\r\n%QUILLFEN_SCRATCH%\\missing.txt - Unable to open file.\r\n");
    // Nothing holds the file once its section is written.
    FileHandle alone(CreateFileW((folder / L"bytes.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(alone) << "the file is still open: error " << GetLastError();
}

TEST(Interpreter, ContentsOfALargeFileMatchesByteWiseReading) {
    // Line breaks fall on every chunk boundary the reader might use; lone CRs stay.
    ScratchFolder folder;
    std::string bytes;
    for (int i = 0; bytes.size() < 300000; ++i) bytes += (i % 7 == 0) ? "line\r" : "text\r\n\x01\xff";
    WriteFileBytes(folder / L"big.txt", bytes);

    EXPECT_EQ(Interpret(L":CONTENTS\n" + folder.path() + L"\\big.txt"),
              Banner(L"CONTENTS") + L"\r\n" + folder.path() + L"\\big.txt - Opened succesfully.\r\n\r\n" +
                  AsTextModeReadsIt(folder / L"big.txt") + L"\r\n");
}

TEST(Interpreter, ContentsOfThingsThatAreNotFilesCannotBeOpened) {
    ScratchFolder folder;
    NotFiles notFiles(folder.path());
    ASSERT_TRUE(notFiles.made());
    for (const std::wstring& path : notFiles.paths()) {
        std::wstring report;
        EndsWithinOrStops("CONTENTS " + Narrow(path), [&] { report = Interpret(L":CONTENTS\n" + path); });
        EXPECT_EQ(report, L"\r\n========== CONTENTS ==========\r\n\r\n" + path + L" - Unable to open file.\r\n");
    }
    EXPECT_FALSE(notFiles.PipeOpened());
}

TEST(Interpreter, ObserverSeesEveryLineWithItsNumber) {
    std::vector<std::wstring> seen;
    Interpret(
        L":COMMENT\r\none\r\n\r\ntwo",
        [](size_t number, size_t count, const wchar_t* line, void* context) {
            static_cast<std::vector<std::wstring>*>(context)->push_back(std::to_wstring(number) + L"/" +
                                                                        std::to_wstring(count) + L" " + line);
        },
        &seen);
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"1/3 :COMMENT", L"2/3 one", L"3/3 two"}));
}

TEST(Interpreter, EveryLineIsOnDiskBeforeTheNextRuns) {
    ScratchFolder folder;
    const std::wstring path = folder / L"report.txt";
    Stream report(_wfopen(path.c_str(), L"wb"));
    ASSERT_TRUE(report);
    setvbuf(report.get(), nullptr, _IOFBF, 64 * 1024);  // as the run's report: nothing goes out by itself
    struct Seen {
        std::wstring path;
        std::vector<std::wstring> reports;
    } seen{path, {}};
    std::wstring script = L":ENV\r\none\r\n:Bogus\r\ntwo";
    WorkPool pool;
    ParseScript(
        script.data(), report.get(), pool,
        [](size_t, size_t, const wchar_t*, void* context) {
            auto* seen = static_cast<Seen*>(context);
            seen->reports.push_back(ReadUtf16File(seen->path));
        },
        &seen);
    const std::wstring banner = L"\r\n========== ENV ==========\r\n";
    const std::wstring payload = L"one = one\r\n";
    EXPECT_EQ(seen.reports, (std::vector<std::wstring>{L"", banner, banner + payload,
                                                       banner + payload + L"\r\nInvalid Context: Bogus\r\n"}));
}

}  // namespace
