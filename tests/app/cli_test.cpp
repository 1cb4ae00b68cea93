// The console front end, run as its own process the way automation runs it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <optional>
#include <regex>
#include <thread>

#include "app/scan/scan.h"
#include "report/create_log.h"
#include "report/fallbacks.h"
#include "tests/support/test_support.h"
#include "tests/support/window_driver.h"
#include "util/handles.h"
#include "util/version_record.h"

namespace {

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

// The body a run of ":ENV", "x" writes.
const std::wstring kXBody = Banner(L"ENV") + L"x = x\r\n" + kEndOfFile;

TEST(Cli, ReadsEveryCommonEncodingAndStandardInput) {
    ScratchFolder folder;
    for (const EncodedScript& c : EncodedScripts()) {
        // The line after ":ENV", whatever ends it; without ":ENV", each line as one of no context.
        std::wstring expected;
        if (const size_t env = c.text.find(L":ENV"); env != std::wstring::npos) {
            const size_t start = c.text.find(L'\n', env) + 1;
            const std::wstring line = c.text.substr(start, c.text.find_first_of(L"\r\n", start) - start);
            expected = Banner(L"ENV") + line + L" = " + line + L"\r\n";
        } else {
            for (size_t start = 0, stop = 0; start < c.text.size(); start = stop + 2) {
                stop = c.text.find(L"\r\n", start);
                expected += L"\r\nNo Context: " + c.text.substr(start, stop - start) + L"\r\n";
            }
        }
        expected += kEndOfFile;
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

// Found by the shell's own value, whether or not its copy for old programs is there.
TEST(Cli, WritesTheDesktopReportWhenNoPathIsGiven) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"script.txt", ":ENV\nx");
    ScratchDesktop desktop;
    ScopedValue copy(HKEY_CURRENT_USER, kShellFolders, L"Desktop");
    for (const bool withCopy : {true, false}) {
        if (!withCopy) {
            ASSERT_TRUE(copy.Remove());
        }
        ProcessResult run = RunProcess(Cli(Quoted(folder / L"script.txt")));
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        EXPECT_EQ(run.out, Narrow(desktop.report()) + "\n");
        EXPECT_EQ(ReportBody(ReadUtf16File(desktop.report())), kXBody) << withCopy;
    }
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
        EXPECT_EQ(run.out.rfind("usage: quillfen-cli.exe [--out REPORT] [--open] [--quiet] [--threads N] SCRIPT\n", 0),
                  0u)
            << Narrow(arguments) << ": " << run.out;
        if (usage.empty()) usage = run.out;
        EXPECT_EQ(run.out, usage) << Narrow(arguments);
    }
    for (const char* option : {"--out=REPORT", "--open", "--quiet", "--threads N", "--version", "/?", "-h"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
}

// The line carries the project's version; the version record spells the same number "1, 0, 0, 1", and
// the two must not drift apart when the version changes.
TEST(Cli, VersionPrintsTheProjectVersionDottedAndAsTheVersionRecordHasIt) {
    const std::vector<BYTE> record = ReadVersionRecord((ExecutableFolder() + L"\\quillfen-cli.exe").c_str());
    DWORD translation = 0;
    std::wstring recorded;
    ASSERT_TRUE(ChooseTranslation(record, translation));
    ASSERT_TRUE(VersionString(record, translation, L"ProductVersion", recorded));
    std::string dotted;
    for (size_t i = 0; i < recorded.size(); ++i) {
        if (recorded.compare(i, 2, L", ") == 0) {
            dotted += '.';
            ++i;
        } else {
            dotted += static_cast<char>(recorded[i]);
        }
    }
    EXPECT_TRUE(std::regex_match(dotted, std::regex(R"(\d+\.\d+\.\d+\.\d+)"))) << Narrow(recorded);

    for (const wchar_t* arguments : {L"--version", L"script.txt --version --bogus"}) {
        ProcessResult run = RunProcess(Cli(arguments));
        EXPECT_EQ(run.exitCode, 0u) << Narrow(arguments);
        EXPECT_EQ(run.out, "quillfen-cli " + dotted + "\n") << Narrow(arguments);
        EXPECT_EQ(run.err, "") << Narrow(arguments);
    }
}

TEST(Cli, EveryUsageErrorIsOneLineOnStandardError) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"script.txt", ":ENV\nx");
    const std::wstring script = Quoted(folder / L"script.txt");
    struct Case {
        std::string error;
        std::vector<std::wstring> arguments;
    } cases[] = {
        {"no script given", {L"", L"--quiet"}},
        {"unknown option --bogus", {L"--bogus " + script}},
        {"unknown option --quiet=yes", {L"--quiet=yes " + script}},
        {"unknown option --output=x", {L"--output=x " + script}},
        {"--out needs a report path",
         {L"--out", script + L" --out", L"--out= " + script, L"--out \"\" " + script, L"--out --quiet " + script,
          L"--out -- " + script}},
        {"only one script may be given; unexpected b.txt", {L"a.txt b.txt"}},
        {"only one script may be given; unexpected -h", {L"-- a.txt -h"}},
        {"--threads needs a count from 1 to 8",
         {L"--threads " + script, L"--threads", L"--threads 0 " + script, L"--threads=9 " + script,
          L"--threads=-1 " + script, L"--threads 2x " + script, L"--threads= " + script}},
    };
    for (const Case& c : cases) {
        for (const std::wstring& arguments : c.arguments) {
            ProcessResult run = RunProcess(Cli(arguments));
            EXPECT_EQ(run.exitCode, 2u) << Narrow(arguments);
            EXPECT_EQ(run.out, "") << Narrow(arguments);
            EXPECT_EQ(run.err, "quillfen-cli: " + c.error + kSeeHelp) << Narrow(arguments);
        }
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
        {Quoted(folder.path()), "",
         "quillfen-cli: cannot read script \"" + Narrow(folder.path()) +
             "\": " + SystemMessageText(ERROR_ACCESS_DENIED) + "\n"},
        {L"-- --help", "",
         "quillfen-cli: cannot read script \"--help\": " + SystemMessageText(ERROR_FILE_NOT_FOUND) + "\n"},
        {Quoted(utf32le), "",
         "quillfen-cli: cannot read script \"" + Narrow(utf32le) + "\": the text is UTF-32LE" + refusal},
        {Quoted(utf32be), "",
         "quillfen-cli: cannot read script \"" + Narrow(utf32be) + "\": the text is UTF-32BE" + refusal},
        {L"-", ReadFileBytes(utf32le),
         "quillfen-cli: cannot read the script from standard input: the text is UTF-32LE" + refusal},
        {L"-", std::string(":\0\0\0E\0\0\0N\0\0\0V\0\0\0\r\0\0\0\n\0\0\0x\0\0\0", 28),
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

// Standard input that gives no script is named with the system's reason, as a script file is.
TEST(Cli, StandardInputThatCannotBeReadIsNamedWithTheReason) {
    ScratchFolder folder;
    FileHandle directory(CreateFileW(folder.path().c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(directory);
    const struct {
        const char* name;
        HANDLE input;
        DWORD error;
    } cases[] = {
        {"started without standard input", nullptr, ERROR_INVALID_HANDLE},
        {"a folder as standard input", directory.get(), ERROR_INVALID_FUNCTION},  // as ReadFile answers on Windows
    };
    for (const auto& c : cases) {
        ProcessResult run = RunProcessWithInputHandle(Cli(L"--out " + Quoted(folder / L"out.txt") + L" -"), c.input);
        EXPECT_EQ(run.exitCode, 2u) << c.name;
        EXPECT_EQ(run.out, "") << c.name;
        EXPECT_EQ(run.err,
                  "quillfen-cli: cannot read the script from standard input: " + SystemMessageText(c.error) + "\n")
            << c.name;
    }
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
    } cases[] = {
        {held, ERROR_SHARING_VIOLATION},
        {unplaced, ERROR_PATH_NOT_FOUND},
        // A path in the NT form is named as typed.
        {L"\\??\\" + unplaced, ERROR_PATH_NOT_FOUND},
    };
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
    const std::wstring body = Banner(L"ENV") + L"first = first\r\nsecond = second\r\n" + kEndOfFile;
    struct Case {
        std::wstring arguments;
        std::string err;
    } cases[] = {
        {L"--out=" + Quoted(report) + L" " + Quoted(folder / L"script.txt"),
         "line 1 of 3: :ENV\nline 3 of 3: second\n"},
        {L"--quiet --out=" + Quoted(report) + L" " + Quoted(folder / L"script.txt"), ""},
        {Quoted(folder / L"script.txt") + L" --out " + Quoted(report) + L" --quiet", ""},
    };
    for (const Case& c : cases) {
        DeleteFileW(report.c_str());
        ProcessResult run = RunProcess(Cli(c.arguments));
        EXPECT_EQ(run.exitCode, 0u) << Narrow(c.arguments) << ": " << run.err;
        EXPECT_EQ(run.out, Narrow(report) + "\n") << Narrow(c.arguments);
        // The middle line goes out only when a quarter of a second has passed since the first. An elevated
        // run says nothing about elevation.
        std::string err = run.err;
        const std::string middle = "line 2 of 3: first\n";
        if (const size_t at = err.find(middle); at != std::string::npos) err.erase(at, middle.size());
        EXPECT_EQ(err, c.err) << Narrow(c.arguments);
        EXPECT_EQ(ReportBody(ReadUtf16File(report)), body) << Narrow(c.arguments);
    }
}

TEST(Cli, AMillionLinesToAPipeNameOnlyAFewOfThemASecond) {
    ScratchFolder folder;
    std::string script = ":COMMENT\r\n";
    for (int i = 0; i < 200000; ++i) script += "a comment line of the kind a long script holds\r\n";
    script += "last";
    WriteFileBytes(folder / L"script.txt", script);
    const ULONGLONG start = GetTickCount64();
    ProcessResult run =
        RunProcess(Cli(L"--out " + Quoted(folder / L"out.txt") + L" " + Quoted(folder / L"script.txt")));
    const ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.err.rfind("line 1 of 200002: :COMMENT\n", 0), 0u) << run.err.substr(0, 200);
    const std::string last = "line 200002 of 200002: last\n";
    ASSERT_GE(run.err.size(), last.size());
    EXPECT_EQ(run.err.substr(run.err.size() - last.size()), last);
    // The first, the last, and one for each quarter of a second the run took.
    const size_t lines = static_cast<size_t>(std::count(run.err.begin(), run.err.end(), '\n'));
    EXPECT_LE(lines, 3 + elapsed / kProgressIntervalMs) << "in " << elapsed << " ms";
}

TEST(Cli, ThreadsSetsHowManyShareTheWorkAndTheReportStaysTheSame) {
    ScratchFolder folder;
    ScratchFolder files;
    for (int i = 0; i < 60; ++i) WriteFileBytes(files / (L"f" + std::to_wstring(i)), std::string(100 * i, 'x'));
    WriteFileBytes(folder / L"script.txt", ":DIR\r\n" + Narrow(files.path()) + " /md5\r\n");
    const std::wstring report = folder / L"out.txt";
    std::wstring oneThread;
    for (const wchar_t* threads : {L"--threads 1", L"--threads=2", L"--threads 8", L""}) {
        ProcessResult run = RunProcess(
            Cli(std::wstring(threads) + L" --quiet --out " + Quoted(report) + L" " + Quoted(folder / L"script.txt")));
        EXPECT_EQ(run.exitCode, 0u) << Narrow(threads) << ": " << run.err;
        const std::wstring body = ReportBody(ReadUtf16File(report));
        if (oneThread.empty()) oneThread = body;
        EXPECT_EQ(body, oneThread) << Narrow(threads);
    }
    EXPECT_NE(oneThread.find(L"f59\t--a--- 5900 bytes"), std::wstring::npos) << Narrow(oneThread);
}

std::string IncompleteLine(const std::wstring& report) {
    return "quillfen-cli: the report \"" + Narrow(report) +
           "\" is incomplete: part of it could not be written: " + SystemMessageText(ERROR_DISK_FULL) + "\n";
}

TEST(Cli, AReportThatCannotBeWrittenWholeExitsOneWithTheReason) {
    ScratchFolder folder;
    // Some 40 KiB of report: more than the tiny volume holds.
    std::string script = ":ENV";
    std::wstring body = Banner(L"ENV");
    for (int i = 0; i < 200; ++i) {
        std::string line = "line " + std::to_string(i) + std::string(40, 'x');
        script += "\r\n" + line;
        body += std::wstring(line.begin(), line.end()) + L" = " + std::wstring(line.begin(), line.end()) + L"\r\n";
    }
    WriteFileBytes(folder / L"script.txt", script);
    const std::wstring volume = folder / L"tiny";
    ASSERT_TRUE(CreateDirectoryW(volume.c_str(), nullptr));
    TinyVolume tiny(volume, 16);
    ASSERT_TRUE(tiny.mounted());
    const std::wstring report = volume + L"\\out.txt";
    for (const std::wstring& path : {report, std::wstring(L"Z:\\dev\\full")}) {
        ProcessResult run = RunProcess(Cli(L"--quiet --out " + Quoted(path) + L" " + Quoted(folder / L"script.txt")));
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, 1u) << Narrow(path);
        EXPECT_EQ(run.out, "") << Narrow(path);
        EXPECT_EQ(run.err, IncompleteLine(path));
    }
    // What fitted is there, in order: the header, then the body up to the volume's end.
    std::wstring written = ReadUtf16File(report);
    EXPECT_EQ(written.size() * 2, 16384u);
    std::wstring writtenBody = ReportBody(written);
    EXPECT_EQ(writtenBody, body.substr(0, writtenBody.size()));
    EXPECT_GT(writtenBody.size(), 0u);
}

// The first run is held at its CONTENTS line, its report open, until the test lets it go.
TEST(Cli, ASecondRunCannotWriteTheReportOfARunUnderWay) {
    ScratchFolder folder;
    HeldFile held(L"quillfen-cli-held-" + std::to_wstring(GetCurrentProcessId()) + L".txt", "held\r\n");
    WriteFileBytes(folder / L"short.txt", ":ENV\r\nsecond");
    const std::wstring report = folder / L"out.txt";
    ProcessResult first;
    std::thread firstRun(
        [&] { first = RunCliScript(folder, L":ENV\r\nfirst\r\n:CONTENTS\r\n" + held.path(), report); });
    const bool reached = held.WaitForReader(kHangBoundMs, report);
    EXPECT_TRUE(reached) << "the first run never reached its CONTENTS line";
    if (reached) {
        ProcessResult second =
            RunProcess(Cli(L"--quiet --out " + Quoted(report) + L" " + Quoted(folder / L"short.txt")));
        EXPECT_EQ(second.exitCode, 1u);
        EXPECT_EQ(second.out, "");
        EXPECT_EQ(second.err, "quillfen-cli: cannot create the report \"" + Narrow(report) +
                                  "\": " + SystemMessageText(ERROR_SHARING_VIOLATION) + "\n");
    }
    held.Release();
    firstRun.join();
    EXPECT_EQ(first.exitCode, 0u) << first.err;
    const std::wstring body = ReportBody(ReadUtf16File(report));
    EXPECT_EQ(body.find(L"second"), std::wstring::npos);
    EXPECT_NE(body.find(L"\r\nfirst = first\r\n"), std::wstring::npos) << Narrow(body);
    EXPECT_TRUE(body.ends_with(L"\r\n\r\nheld\n\r\n" + kEndOfFile)) << Narrow(body);
}

TEST(Cli, TheScriptIsNeverItsOwnReport) {
    ScratchFolder folder;
    const std::wstring script = folder / L"my long script.txt";
    const std::string bytes = ":ENV\r\nx\r\n";
    WriteFileBytes(script, bytes);
    wchar_t shortName[MAX_PATH] = {};
    ASSERT_NE(GetShortPathNameW(script.c_str(), shortName, MAX_PATH), 0u);
    std::wstring upper = script;
    for (wchar_t& c : upper) c = towupper(c);
    const std::wstring spellings[] = {
        script,
        upper,
        folder.path() + L"\\.\\my long script.txt",
        shortName,
        ZDrivePath(script),
        folder.path() + L"\\sub\\..\\my long script.txt",
        L"\\\\?\\" + script,
    };
    for (const std::wstring& out : spellings) {
        ProcessResult run = RunProcess(Cli(L"--quiet --out " + Quoted(out) + L" " + Quoted(script)));
        EXPECT_EQ(run.exitCode, 2u) << Narrow(out);
        EXPECT_EQ(run.out, "") << Narrow(out);
        EXPECT_EQ(run.err.rfind("quillfen-cli: the report \"", 0), 0u) << run.err;
        EXPECT_TRUE(run.err.ends_with("\" is the script itself; name another report with --out\n")) << run.err;
        EXPECT_EQ(ReadFileBytes(script), bytes) << Narrow(out);
    }
    // From the script's own folder, both by relative names.
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.path().c_str()));
    ProcessResult relative = RunProcess(Cli(L"--quiet --out \".\\MY LONG SCRIPT.txt\" \"my long script.txt\""));
    SetCurrentDirectoryW(previous);
    EXPECT_EQ(relative.exitCode, 2u) << relative.err;
    EXPECT_EQ(ReadFileBytes(script), bytes);
}

TEST(Cli, TheConsoleManifestRunsAsInvokerWithLongPaths) {
    const std::wstring exe = ExecutableFolder() + L"\\quillfen-cli.exe";
    HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(found, nullptr);
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    std::string manifest = data ? std::string(data, SizeofResource(module, found)) : std::string();
    FreeLibrary(module);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos);
    EXPECT_NE(manifest.find("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true"
                            "</longPathAware>"),
              std::string::npos);
    EXPECT_EQ(manifest.find("Common-Controls"), std::string::npos);
    EXPECT_EQ(manifest.find("requireAdministrator"), std::string::npos);
}

// As an access list or Controlled Folder Access answers: a folder that refuses new files, "file not
// found" in a folder that exists, or a report that opens and then refuses its first write (here: a
// desktop with no room left).
TEST(Cli, ADesktopThatRefusesTheReportSendsItToTheTemporaryFolderAndSaysSo) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"script.txt", ":ENV\nx");
    ScratchTemp temp;
    for (const DWORD refusal : {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, ERROR_DISK_FULL}) {
        SCOPED_TRACE(refusal);
        ScratchDesktop desktop;
        std::optional<ImmutableFolder> immutable;
        std::optional<TinyVolume> tiny;
        if (refusal == ERROR_ACCESS_DENIED) {
            immutable.emplace(desktop.path());
            ASSERT_TRUE(immutable->made());
        } else if (refusal == ERROR_FILE_NOT_FOUND) {
            ASSERT_TRUE(MakeReportUncreatable(desktop.path()));
        } else {
            tiny.emplace(desktop.path(), 16);
            ASSERT_TRUE(tiny->mounted());
            WriteFileBytes(desktop.path() + L"\\filler", std::string(16384, 'f'));
        }
        ProcessResult run = RunProcess(Cli(L"--quiet " + Quoted(folder / L"script.txt")));
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        EXPECT_EQ(run.out, Narrow(temp.report()) + "\n");
        EXPECT_EQ(run.err, "quillfen-cli: the desktop refused the report (" + SystemMessageText(refusal) +
                               "); it was written to the temporary folder instead: " + Narrow(temp.report()) + "\n");
        EXPECT_EQ(ReportBody(ReadUtf16File(temp.report())), kXBody);
        ASSERT_TRUE(DeleteFileW(temp.report().c_str()));
        if (refusal != ERROR_ACCESS_DENIED) {
            DeleteFileW(desktop.report().c_str());
            continue;
        }
        // A report that --out names never moves, not even one on the refusing desktop.
        EXPECT_EQ(GetFileAttributesW(desktop.report().c_str()), INVALID_FILE_ATTRIBUTES);
        run = RunProcess(Cli(L"--quiet --out " + Quoted(desktop.report()) + L" " + Quoted(folder / L"script.txt")));
        EXPECT_EQ(run.exitCode, 1u);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "quillfen-cli: cannot create the report \"" + Narrow(desktop.report()) +
                               "\": " + SystemMessageText(ERROR_ACCESS_DENIED) + "\n");
        EXPECT_EQ(GetFileAttributesW(temp.report().c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

TEST(Cli, AReportPathInTheNtFormIsTakenAsTyped) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"script.txt", ":ENV\nx");
    const std::wstring report = L"\\??\\" + folder / L"r.txt";
    ProcessResult run = RunProcess(Cli(L"--quiet --out " + Quoted(report) + L" " + Quoted(folder / L"script.txt")));
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out, Narrow(report) + "\n");
    EXPECT_EQ(ReportBody(ReadUtf16File(folder / L"r.txt")), kXBody);
}

TEST(Cli, OpenShowsTheReportInNotepadOrSaysInOneLineThatNotepadDidNotStart) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"script.txt", ":ENV\nx");
    const std::wstring report = folder / L"opened report.txt";
    const std::wstring arguments = L"--quiet --open --out " + Quoted(report) + L" " + Quoted(folder / L"script.txt");

    ProcessResult run = RunProcess(Cli(arguments));
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out, Narrow(report) + "\n");
    EXPECT_EQ(run.err, "");
    const std::vector<DWORD> notepads = WaitForNotepadsOn(report, kHangBoundMs);
    EXPECT_EQ(notepads.size(), 1u) << "no Notepad on the report";
    for (DWORD id : notepads) EndProcess(id);

    {
        FilesMovedAside missing(NotepadCandidates(WindowsFolder()));
        ASSERT_TRUE(missing.moved());
        run = RunProcess(Cli(arguments));
    }
    EXPECT_EQ(run.exitCode, 0u) << "the report was written: " << run.err;
    EXPECT_EQ(run.out, Narrow(report) + "\n");
    EXPECT_EQ(run.err, "quillfen-cli: Notepad could not be started to open the report: " +
                           SystemMessageText(ERROR_FILE_NOT_FOUND) + "\n");
    EXPECT_EQ(ReportBody(ReadUtf16File(report)), kXBody);
    EXPECT_TRUE(WaitForNotepadsOn(report, 0).empty());

    // Without Notepad, the user's own program for text files gets the report.
    // A prefix's .txt key, if it has one, is shared and given back; a missing one is made and removed.
    ScopedKey extension(HKEY_CLASSES_ROOT, L".txt", KeyBefore::kShare);
    ScopedValue textFiles(HKEY_CLASSES_ROOT, L".txt", L"");
    ASSERT_TRUE(textFiles.SetString(REG_SZ, L"QuillfenTests.viewer"));
    ScopedKey viewer(HKEY_CLASSES_ROOT, L"QuillfenTests.viewer", KeyBefore::kReplace);
    const std::wstring seen = folder / L"seen by the viewer.txt";
    viewer.SetString(L"", L"\"" + ExecutableFolder() + L"\\qf_viewer.exe\" \"" + seen + L"\" \"%1\"",
                     L"shell\\open\\command");
    {
        FilesMovedAside missing(NotepadCandidates(WindowsFolder()));
        ASSERT_TRUE(missing.moved());
        run = RunProcess(Cli(arguments));
    }
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.err, "");
    // The viewer is started, not waited for.
    for (int i = 0; i < 100 && TextSoFar(seen).size() < report.size(); ++i) Sleep(100);
    EXPECT_EQ(TextSoFar(seen), report);
}

TEST(Cli, ThePathLineIsInTheCodePageOfTheConsoleThatCapturesItAndWideOnTheConsoleItself) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"script.txt", ":ENV\nx");
    const std::wstring zoe = folder / L"Zo\u00eb";
    ASSERT_TRUE(CreateDirectoryW(zoe.c_str(), nullptr));
    const std::wstring report = zoe + L"\\Quillfen.txt";
    const std::wstring command = Cli(L"--quiet --out " + Quoted(report) + L" " + Quoted(folder / L"script.txt"));
    const std::string start = Narrow(folder.path()) + "\\Zo";
    const std::string rest = "\\Quillfen.txt\n";

    // The test program has no console of its own: what it captures is UTF-8.
    ProcessResult run = RunProcess(command);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out, start + "\xC3\xAB" + rest);

    ScopedConsole console(1252);
    ASSERT_TRUE(console.made());
    run = RunProcess(command);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out, start + "\xEB" + rest);

    // Not redirected, the line goes to the console as it is.
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::wstring line = command;
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    KernelHandle thread(process.hThread);
    KernelHandle started(process.hProcess);
    ASSERT_EQ(WaitForSingleObject(started.get(), kHangBoundMs), WAIT_OBJECT_0);
    EXPECT_EQ(console.ScreenText(report.size()), report);
}

}  // namespace
