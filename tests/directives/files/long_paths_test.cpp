// Every directive that takes a path, and the report itself, on paths longer than MAX_PATH, and on
// paths typed in the \??\ form, through the console front end.
#include <gtest/gtest.h>

#include <vector>

#include "tests/directives/files/file_fixtures.h"
#include "tests/support/test_support.h"

namespace {

const std::wstring kPlainMd5 = ReferenceMD5("plain");

// `top` followed by six folders of 50 characters: well over 300 characters in all.
std::wstring DeepFolder(const std::wstring& top) {
    std::wstring path = top;
    MakeFolder(path);
    for (wchar_t level = L'1'; level <= L'6'; ++level) {
        path += L"\\level" + std::wstring(1, level) + std::wstring(44, L'x');
        MakeFolder(path);
    }
    return path;
}

TEST(LongPaths, EveryDirectiveAndTheReportReachThem) {
    ScratchFolder root;
    const std::wstring stem = UniqueName(L"qflong");
    const std::wstring deep = DeepFolder(root / L"in");
    const std::wstring file = deep + L"\\" + stem + L".txt";
    const std::wstring folder = deep + L"\\" + stem + L"sub";
    MakeFile(file, "plain");
    MakeFolder(folder);
    SetTimes(folder, FolderInstant());
    const std::wstring report = DeepFolder(root / L"out") + L"\\report.txt";
    ASSERT_GT(file.size(), 300u);
    ASSERT_GT(report.size(), 300u);

    const std::wstring fileSection = L" - File found and opened.\r\nMD5: " + kPlainMd5 +
                                     L"\r\nCreated at 08:05 on 30/11/2021\r\nModified at 08:05 on 30/11/2021\r\n"
                                     L"Size: 5 bytes\r\nAttributes: --a---\r\nNo version information available.\r\n";
    const std::wstring dirSection = L" - Parameters: \"(none)\"\r\n\r\n---Files---\r\n" + stem + L".txt" +
                                    FileText(L"--a---", 5) + L"\r\n\r\n---Folders---\r\n" + stem + L"sub" +
                                    FolderText() + L"\r\n";
    const struct {
        const wchar_t* context;
        std::wstring line;
        std::wstring section;  // what follows the context's banner
    } rows[] = {
        {L"FILE", file, L"\r\n" + file + fileSection},
        {L"FILE", L"\\??\\" + file, L"\r\n\\??\\" + file + fileSection},
        {L"CONTENTS", file, L"\r\n" + file + L" - Opened succesfully.\r\n\r\nplain\r\n"},
        {L"DIR", deep, L"\r\n" + deep + dirSection},
        {L"DIR", L"\\??\\" + deep, L"\r\n\\??\\" + deep + dirSection},
        {L"FILEFIND", stem + L"*.txt",
         L"\r\nSearching for \"" + stem + L"*.txt\"\r\n" + file + FileText(L"--a---", 5) + L" " + kPlainMd5 + L"\r\n"},
        {L"FOLDERFIND", stem + L"s*", L"\r\nSearching for \"" + stem + L"s*\"\r\n" + folder + FolderText() + L"\r\n"},
    };
    std::wstring script;
    std::wstring body;
    for (const auto& row : rows) {
        script += std::wstring(L":") + row.context + L"\r\n" + row.line + L"\r\n";
        body += Banner(row.context) + row.section;
    }
    WriteFileBytes(root / L"script.txt", Narrow(script));
    ProcessResult run = RunProcess(Cli(L"--quiet --out \"" + report + L"\" \"" + root / L"script.txt\""));
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    const ReportParts text = SplitReportHeader(ReadUtf16File(report));
    ASSERT_TRUE(text.hasHeader) << Narrow(text.body);
    EXPECT_EQ(text.body, body + kEndOfFile);
}

}  // namespace
