// The console front end, run as its own process the way automation runs it.
#include <gtest/gtest.h>

#include <filesystem>

#include "report/create_log.h"
#include "tests/support/test_support.h"
#include "util/owned.h"

namespace {

const std::wstring kEnd = L"\r\n-=End Of File=-";

std::wstring Cli(const std::wstring& arguments) {
    return L"\"" + ExecutableFolder() + L"\\quillfen-cli.exe\" " + arguments;
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

TEST(Cli, RunsAScriptFileAndPrintsOnlyTheReportPath) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"script.txt", ":COMMENT\r\nx\r\n:ENV\r\nplain\r\n");
    std::wstring report = folder / L"out.txt";
    ProcessResult run = RunProcess(Cli(L"--out " + Quoted(report) + L" " + Quoted(folder / L"script.txt")));
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out, Narrow(report) + "\n");
    EXPECT_NE(run.err.find("line 4 of 4: plain"), std::string::npos) << run.err;
    EXPECT_EQ(ReportBody(ReadUtf16File(report)), L"\r\n========== ENV ==========\r\nplain = plain\r\n" + kEnd);
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
        {"utf16be with mark", std::string("\xFE\xFF\0:\0E\0N\0V\0\r\0\n\0c\0a\0f\0\xE9", 22)},
        {"utf16be without mark", std::string("\0:\0E\0N\0V\0\r\0\n\0c\0a\0f\0\xE9", 20)},
        {"utf8 with a stray NUL at the end", std::string(":ENV\r\ncaf\xC3\xA9\0", 12)},
        {"ansi with a stray NUL at the end", std::string(":ENV\r\ncaf\xE9\0", 11)},
    };
    for (const Case& c : cases) {
        WriteFileBytes(folder / L"script.txt", c.bytes);
        std::wstring report = folder / L"out.txt";
        ProcessResult run = RunProcess(Cli(L"--out " + Quoted(report) + L" " + Quoted(folder / L"script.txt")));
        EXPECT_EQ(run.exitCode, 0u) << c.name << ": " << run.err;
        EXPECT_EQ(ReportBody(ReadUtf16File(report)), expected) << c.name;

        ProcessResult piped = RunProcess(Cli(L"--out " + Quoted(report) + L" -"), c.bytes);
        EXPECT_EQ(piped.exitCode, 0u) << c.name << ": " << piped.err;
        EXPECT_EQ(ReportBody(ReadUtf16File(report)), expected) << c.name << " (standard input)";
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
    EXPECT_EQ(ReportBody(ReadUtf16File(desktopReport.get())), L"\r\n========== ENV ==========\r\nx = x\r\n" + kEnd);
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

const std::string kSeeHelp = " (--help shows the usage)\n";

TEST(Cli, HelpAnywherePrintsTheUsageOnStandardOutputAndExitsZero) {
    ScratchFolder folder;
    const std::wstring script = Quoted(folder / L"script.txt");
    const std::wstring cases[] = {
        L"--help", L"-h", L"/?", L"--bogus --help", script + L" -h", L"--out /?", L"a.txt b.txt --help",
    };
    std::string usage;
    for (const std::wstring& arguments : cases) {
        ProcessResult run = RunProcess(Cli(arguments));
        EXPECT_EQ(run.exitCode, 0u) << Narrow(arguments);
        EXPECT_EQ(run.err, "") << Narrow(arguments);
        EXPECT_EQ(run.out.rfind("usage: quillfen-cli.exe [--out REPORT] [--open] [--quiet] SCRIPT\n", 0), 0u)
            << Narrow(arguments) << ": " << run.out;
        if (usage.empty()) usage = run.out;
        EXPECT_EQ(run.out, usage) << Narrow(arguments);
    }
    for (const char* option : {"--out=REPORT", "--open", "--quiet", "--version", "/?", "-h"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
}

TEST(Cli, VersionPrintsTheVersionRecordsProductAndVersion) {
    for (const wchar_t* arguments : {L"--version", L"script.txt --version --bogus"}) {
        ProcessResult run = RunProcess(Cli(arguments));
        EXPECT_EQ(run.exitCode, 0u) << Narrow(arguments);
        EXPECT_EQ(run.out, "Quillfen 1, 0, 0, 1\n") << Narrow(arguments);
        EXPECT_EQ(run.err, "") << Narrow(arguments);
    }
}

TEST(Cli, EveryUsageErrorIsOneLineOnStandardError) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"script.txt", ":ENV\nx");
    const std::wstring script = Quoted(folder / L"script.txt");
    struct Case {
        std::wstring arguments;
        std::string err;
    } cases[] = {
        {L"", "quillfen-cli: no script given" + kSeeHelp},
        {L"--quiet", "quillfen-cli: no script given" + kSeeHelp},
        {L"--bogus " + script, "quillfen-cli: unknown option --bogus" + kSeeHelp},
        {L"--quiet=yes " + script, "quillfen-cli: unknown option --quiet=yes" + kSeeHelp},
        {L"--output=x " + script, "quillfen-cli: unknown option --output=x" + kSeeHelp},
        {L"--out", "quillfen-cli: --out needs a report path" + kSeeHelp},
        {script + L" --out", "quillfen-cli: --out needs a report path" + kSeeHelp},
        {L"--out= " + script, "quillfen-cli: --out needs a report path" + kSeeHelp},
        {L"--out \"\" " + script, "quillfen-cli: --out needs a report path" + kSeeHelp},
        {L"a.txt b.txt", "quillfen-cli: only one script may be given; unexpected b.txt" + kSeeHelp},
        {L"-- a.txt -h", "quillfen-cli: only one script may be given; unexpected -h" + kSeeHelp},
    };
    for (const Case& c : cases) {
        ProcessResult run = RunProcess(Cli(c.arguments));
        EXPECT_EQ(run.exitCode, 2u) << Narrow(c.arguments);
        EXPECT_EQ(run.out, "") << Narrow(c.arguments);
        EXPECT_EQ(run.err, c.err) << Narrow(c.arguments);
    }
}

TEST(Cli, AnUnreadableScriptIsNamedWithTheReason) {
    ScratchFolder folder;
    const std::wstring missing = folder / L"missing.txt";
    const std::wstring held = folder / L"held.txt";
    const std::wstring utf32le = folder / L"utf32le.txt";
    const std::wstring utf32be = folder / L"utf32be.txt";
    const std::wstring empty = folder / L"empty.txt";
    WriteFileBytes(held, ":ENV\nx");
    WriteFileBytes(utf32le, std::string("\xFF\xFE\0\0:\0\0\0E\0\0\0N\0\0\0V\0\0\0", 20));
    WriteFileBytes(utf32be, std::string("\0\0\xFE\xFF\0\0\0:\0\0\0E\0\0\0N\0\0\0V", 20));
    WriteFileBytes(empty, "");
    HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const std::string refusal = ", which is not supported; save it as UTF-8 or UTF-16\n";
    struct Case {
        std::wstring arguments;
        std::string input;
        std::string err;
    } cases[] = {
        {Quoted(missing), "",
         "quillfen-cli: cannot read script \"" + Narrow(missing) + "\": " + SystemMessageText(ERROR_FILE_NOT_FOUND) +
             "\n"},
        {Quoted(held), "",
         "quillfen-cli: cannot read script \"" + Narrow(held) + "\": " + SystemMessageText(ERROR_SHARING_VIOLATION) +
             "\n"},
        {L"-- --help", "",
         "quillfen-cli: cannot read script \"--help\": " + SystemMessageText(ERROR_FILE_NOT_FOUND) + "\n"},
        {Quoted(utf32le), "",
         "quillfen-cli: cannot read script \"" + Narrow(utf32le) + "\": the text is UTF-32LE" + refusal},
        {Quoted(utf32be), "",
         "quillfen-cli: cannot read script \"" + Narrow(utf32be) + "\": the text is UTF-32BE" + refusal},
        {L"-", ReadFileBytes(utf32le),
         "quillfen-cli: cannot read the script from standard input: the text is UTF-32LE" + refusal},
        {Quoted(empty), "", "quillfen-cli: the script is empty; no report was written\n"},
        {L"-", "", "quillfen-cli: the script is empty; no report was written\n"},
    };
    for (const Case& c : cases) {
        ProcessResult run = RunProcess(Cli(L"--out " + Quoted(folder / L"out.txt") + L" " + c.arguments), c.input);
        EXPECT_EQ(run.exitCode, 2u) << Narrow(c.arguments);
        EXPECT_EQ(run.out, "") << Narrow(c.arguments);
        EXPECT_EQ(run.err, c.err) << Narrow(c.arguments);
    }
    CloseHandle(holder);
    EXPECT_FALSE(std::filesystem::exists(folder / L"out.txt"));
}

TEST(Cli, AReportThatCannotBeCreatedIsNamedWithTheReason) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"script.txt", ":ENV\nx");
    const std::wstring held = folder / L"held.txt";
    const std::wstring unplaced = folder / L"no\\such\\report.txt";
    WriteFileBytes(held, "held");
    HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    struct Case {
        std::wstring report;
        DWORD error;
    } cases[] = {{held, ERROR_SHARING_VIOLATION}, {unplaced, ERROR_PATH_NOT_FOUND}};
    for (const Case& c : cases) {
        ProcessResult run =
            RunProcess(Cli(L"--quiet --out=" + Quoted(c.report) + L" " + Quoted(folder / L"script.txt")));
        EXPECT_EQ(run.exitCode, 1u) << Narrow(c.report);
        EXPECT_EQ(run.out, "") << Narrow(c.report);
        EXPECT_EQ(run.err, "quillfen-cli: cannot create the report \"" + Narrow(c.report) +
                               "\": " + SystemMessageText(c.error) + "\n");
    }
    CloseHandle(holder);
    EXPECT_EQ(ReadFileBytes(held), "held");
}

TEST(Cli, OutTakesAnEqualsSignAndQuietDropsTheProgressLines) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"script.txt", ":ENV\r\nfirst\r\nsecond");
    const std::wstring report = folder / L"out.txt";
    const std::wstring body = L"\r\n========== ENV ==========\r\nfirst = first\r\nsecond = second\r\n" + kEnd;
    struct Case {
        std::wstring arguments;
        std::string err;
    } cases[] = {
        {L"--out=" + Quoted(report) + L" " + Quoted(folder / L"script.txt"),
         "line 1 of 3: :ENV\nline 2 of 3: first\nline 3 of 3: second\n"},
        {L"--quiet --out=" + Quoted(report) + L" " + Quoted(folder / L"script.txt"), ""},
        {Quoted(folder / L"script.txt") + L" --out " + Quoted(report) + L" --quiet", ""},
    };
    for (const Case& c : cases) {
        DeleteFileW(report.c_str());
        ProcessResult run = RunProcess(Cli(c.arguments));
        EXPECT_EQ(run.exitCode, 0u) << Narrow(c.arguments) << ": " << run.err;
        EXPECT_EQ(run.out, Narrow(report) + "\n") << Narrow(c.arguments);
        EXPECT_EQ(run.err, c.err) << Narrow(c.arguments);
        EXPECT_EQ(ReportBody(ReadUtf16File(report)), body) << Narrow(c.arguments);
    }
}

TEST(Cli, ANulInsideAScriptSeparatesLines) {
    ScratchFolder folder;
    const std::wstring report = folder / L"out.txt";
    const std::wstring body = L"\r\n========== ENV ==========\r\na = a\r\nb = b\r\n" + kEnd;
    const std::string cases[] = {
        std::string(":ENV\r\na\0b", 9),
        std::string("\xFF\xFE:\0E\0N\0V\0\r\0\n\0a\0\0\0b\0", 20),
    };
    for (const std::string& bytes : cases) {
        WriteFileBytes(folder / L"script.txt", bytes);
        ProcessResult run = RunProcess(Cli(L"--quiet --out " + Quoted(report) + L" " + Quoted(folder / L"script.txt")));
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        EXPECT_EQ(ReportBody(ReadUtf16File(report)), body);
    }
}

}  // namespace
