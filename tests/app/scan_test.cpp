#include "app/scan/scan.h"

#include <gtest/gtest.h>

#include <cwctype>

#include "tests/support/test_support.h"
#include "util/disk_file.h"
#include "util/handles.h"

namespace {

const std::wstring kProduct = L"Quillfen v1.0 by tarnwick (11.01.10)\r\n";
const std::wstring kEnd = L"\r\n-=End Of File=-";

// Splits a report into its header (product and creation lines) and its body.
std::wstring BodyOf(const std::wstring& report, std::wstring& creationLine) {
    ReportParts parts = SplitReportHeader(report);
    if (!parts.hasHeader) return L"<no header>";
    creationLine = parts.header.substr(parts.header.find(L"\r\n") + 2);
    return parts.body;
}

TEST(Scan, AWholeRunWritesHeaderBodyAndEndMarker) {
    ScratchFolder folder;
    std::wstring path = folder / L"Quillfen.txt";
    ScopedEnvironment user(L"USERNAME", L"alice");
    ScopedEnvironment var(L"QUILLFEN_TEST_VAR", L"C:\\WINDOWS");
    std::wstring script = L":ENV\r\n%QUILLFEN_TEST_VAR%";
    ScanOptions options;
    options.reportPath = path.c_str();
    ASSERT_EQ(RunScan(script.data(), options), ScanOutcome::Completed);
    // The run has closed its report: Notepad, or anyone, may have it to itself.
    FileHandle alone(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(alone) << "the report is still open: error " << GetLastError();
    alone.reset();

    std::wstring report = ReadUtf16File(path);
    ASSERT_EQ(report.rfind(kProduct, 0), 0u) << Narrow(report);
    std::wstring creation;
    std::wstring body = BodyOf(report, creation);
    EXPECT_EQ(creation.rfind(L"Log created at ", 0), 0u) << Narrow(creation);
    // The test prefix runs as an administrator who may enable the debug privilege.
    EXPECT_EQ(IsAdmin(), 1);
    EXPECT_TRUE(creation.ends_with(L" by alice (Administrator - Elevation successful)\r\n")) << Narrow(creation);
    EXPECT_EQ(body, L"\r\n========== ENV ==========\r\n%QUILLFEN_TEST_VAR% = C:\\WINDOWS\r\n" + kEnd);
}

TEST(Scan, ScriptsWithoutLinesStillGiveAFullReport) {
    ScratchFolder folder;
    std::wstring path = folder / L"Quillfen.txt";
    ScanOptions options;
    options.reportPath = path.c_str();
    std::wstring creation;

    std::wstring breaks = L"\r\n\r\n\n";
    ASSERT_EQ(RunScan(breaks.data(), options), ScanOutcome::Completed);
    EXPECT_EQ(BodyOf(ReadUtf16File(path), creation), kEnd);

    std::wstring blanks = L"   ";
    ASSERT_EQ(RunScan(blanks.data(), options), ScanOutcome::Completed);
    EXPECT_EQ(BodyOf(ReadUtf16File(path), creation), L"\r\nNo Context:    \r\n" + kEnd);
}

TEST(Scan, AHundredThousandLinesAndALineOfAHundredThousandCharacters) {
    ScratchFolder folder;
    std::wstring path = folder / L"Quillfen.txt";
    ScanOptions options;
    options.reportPath = path.c_str();

    std::wstring script = L":ENV";
    std::wstring expected = L"\r\n========== ENV ==========\r\n";
    for (int i = 0; i < 100000; ++i) {
        std::wstring line = L"line " + std::to_wstring(i);
        script += L"\r\n" + line;
        expected += line + L" = " + line + L"\r\n";
    }
    const std::wstring longLine(100000, L'w');
    script += L"\r\n" + longLine;
    expected += longLine + L" = " + longLine + L"\r\n";
    ASSERT_EQ(RunScan(script.data(), options), ScanOutcome::Completed);

    std::wstring creation;
    std::wstring body = BodyOf(ReadUtf16File(path), creation);
    EXPECT_EQ(body.size(), expected.size() + kEnd.size());
    EXPECT_TRUE(body == expected + kEnd) << "the body differs";
}

TEST(Scan, EmptyScriptMakesNoReport) {
    ScratchFolder folder;
    std::wstring path = folder / L"Quillfen.txt";
    ScanOptions options;
    options.reportPath = path.c_str();
    std::wstring empty;
    EXPECT_EQ(RunScan(empty.data(), options), ScanOutcome::EmptyScript);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Scan, AReportHeldOpenByAnotherProgramIsLeftAlone) {
    ScratchFolder folder;
    std::wstring path = folder / L"Quillfen.txt";
    WriteFileBytes(path, "earlier report");
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ScanOptions options;
    options.reportPath = path.c_str();
    std::wstring script = L":ENV\nx";
    EXPECT_EQ(RunScan(script.data(), options), ScanOutcome::ReportNotCreated);
    CloseHandle(held);
    EXPECT_EQ(ReadFileBytes(path), "earlier report");
}

}  // namespace

namespace {

TEST(Scan, OnlyAnEnabledAdministratorsGroupCountsAsMembership) {
    const struct {
        DWORD attributes;
        bool member;
    } cases[] = {
        {0x7, true},          // mandatory | enabled by default | enabled: an elevated administrator
        {0xF, true},          // and owner
        {0xC0000007, true},   // the logon id's bits beside them
        {0x4, true},          // enabled alone
        {0x10, false},        // deny only: a filtered (not elevated) administrator under UAC
        {0x14, false},        // deny only wins over enabled
        {0x0, false},         // present, not enabled
        {0x3, false},         // mandatory and enabled by default, yet disabled
        {0x20000000, false},  // a resource group, not enabled
    };
    for (const auto& c : cases) EXPECT_EQ(GroupCountsAsMember(c.attributes), c.member) << std::hex << c.attributes;
}

TEST(Scan, ProgressGoesOutAFewTimesASecondAndForTheFirstAndLastLine) {
    const struct {
        size_t lineNumber, lineCount;
        ULONGLONG now, shown;
        bool shows;
    } cases[] = {
        {1, 1000000, 5, 5, true},     // the first line, whenever
        {2, 1000000, 6, 5, false},    // a millisecond later
        {2, 1000000, 254, 5, false},  // just inside the interval
        {2, 1000000, 255, 5, true},   // the interval is over
        {999999, 1000000, 300, 200, false},
        {1000000, 1000000, 201, 200, true},  // the last line, however soon
        {3, 3, 10, 10, true},
        {2, 3, 10, 10, false},
        {0, 0, 10, 10, true},    // nothing counted: shown rather than lost
        {7, 9, 100, 400, true},  // the clock went back
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ShowsProgress(c.lineNumber, c.lineCount, c.now, c.shown), c.shows)
            << c.lineNumber << " of " << c.lineCount << " at " << c.now << ", shown at " << c.shown;
    }
}

TEST(Scan, APrivilegeIsAssignedOnlyWhenTheCallSaysSoWithoutExcuse) {
    const struct {
        BOOL result;
        DWORD lastError;
        bool assigned;
    } cases[] = {
        {TRUE, ERROR_SUCCESS, true},
        {TRUE, ERROR_NOT_ALL_ASSIGNED, false},  // the token does not hold the
                                                // privilege
        {FALSE, ERROR_ACCESS_DENIED, false},
        {FALSE, ERROR_INVALID_HANDLE, false},
        {FALSE, ERROR_SUCCESS, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PrivilegeWasAssigned(c.result, c.lastError), c.assigned) << c.result << " " << c.lastError;
    }
}

// An administrator's run asks for backup rights after the debug privilege, and the header tells only of
// the debug privilege; a limited user's run asks for nothing.
TEST(Scan, BackupRightsAreAskedForBesideTheDebugPrivilegeAndNeverTold) {
    using A = PrivilegeAttempt;
    const std::wstring admin = L" (Administrator - ";
    const struct {
        bool admin;
        A debug;
        A backup;
        std::wstring text;
        bool backupReads;
    } rows[] = {
        {false, A::kEnabled, A::kEnabled, L" (Limited User)\r\n", false},
        {true, A::kEnabled, A::kEnabled, admin + L"Elevation successful)\r\n", true},
        {true, A::kEnabled, A::kNotAdjusted, admin + L"Elevation successful)\r\n", false},
        {true, A::kNotAdjusted, A::kEnabled, admin + L"Failed to adjust privileges)\r\n", true},
        {true, A::kNotFound, A::kNotFound, admin + L"Unable to find security privilege value)\r\n", false},
        {true, A::kTokenNotOpened, A::kTokenNotOpened, admin + L"Failed to open access token)\r\n", false},
    };
    for (const auto& row : rows) {
        std::vector<std::wstring> asked;
        bool backupReads = !row.backupReads;
        const std::wstring text = CaptureReport([&](FILE* report) {
            backupReads = LogPrivilegesBy(
                row.admin,
                [&](const wchar_t* name) {
                    asked.push_back(name);
                    return asked.size() == 1 ? row.debug : row.backup;
                },
                report);
        });
        EXPECT_EQ(text, row.text);
        EXPECT_EQ(backupReads, row.backupReads) << Narrow(row.text);
        const std::vector<std::wstring> both = {L"SeDebugPrivilege", L"SeBackupPrivilege"};
        EXPECT_EQ(asked, row.admin ? both : std::vector<std::wstring>());
    }
}

// The test prefix's administrator holds the backup privilege: a run enables it in the process token.
TEST(Scan, AnAdministratorsRunEnablesBackupRightsInTheProcessToken) {
    CaptureReport(LogPrivileges);
    EXPECT_TRUE(BackupReadsHeld());
    KernelHandle token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()));
    PRIVILEGE_SET wanted = {1, PRIVILEGE_SET_ALL_NECESSARY, {}};
    ASSERT_TRUE(LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &wanted.Privilege[0].Luid));
    BOOL held = FALSE;
    ASSERT_TRUE(PrivilegeCheck(token.get(), &wanted, &held)) << GetLastError();
    EXPECT_TRUE(held);
}

TEST(Scan, OnlyATokenThatSaysSoIsKnownNotElevatedAndTheConsoleSaysSo) {
    const std::wstring line =
        L"not running elevated: the report shows only what this account may read without administrator rights";
    const struct {
        bool queried;
        DWORD tokenIsElevated;
        bool known;
    } cases[] = {
        {true, 0, true},    // a limited user, or an administrator under UAC not elevated
        {true, 1, false},   // elevated
        {false, 0, false},  // unknown: nothing is said
        {false, 1, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KnownNotElevated(c.queried, c.tokenIsElevated), c.known) << c.queried << " " << c.tokenIsElevated;
        const wchar_t* notice = ElevationNotice(c.queried, c.tokenIsElevated);
        EXPECT_EQ(notice ? std::wstring(notice) : L"<none>", c.known ? line : L"<none>")
            << c.queried << " " << c.tokenIsElevated;
    }
    // Wine runs the process as an elevated administrator.
    DWORD elevated = 0;
    ASSERT_TRUE(QueryProcessElevation(elevated));
    EXPECT_EQ(ElevationNotice(true, elevated), nullptr);
}

TEST(Scan, AReportThatCannotBeWrittenWholeIsIncompleteWithTheReason) {
    std::wstring script = L":ENV\r\nx";
    ScanOptions options;
    options.reportPath = L"Z:\\dev\\full";
    ScanResult result;
    EXPECT_EQ(RunScan(script.data(), options, &result), ScanOutcome::ReportIncomplete);
    EXPECT_EQ(result.systemError, static_cast<unsigned long>(ERROR_DISK_FULL));
    EXPECT_EQ(result.reportPath, L"Z:\\dev\\full");
}

TEST(Scan, OneFileIsRecognisedHoweverItsPathIsSpelt) {
    ScratchFolder folder;
    const std::wstring script = folder / L"my long script.txt";
    WriteFileBytes(script, ":ENV\nx");
    WriteFileBytes(folder / L"other.txt", ":ENV\nx");
    wchar_t shortName[MAX_PATH] = {};
    ASSERT_NE(GetShortPathNameW(script.c_str(), shortName, MAX_PATH), 0u);
    std::wstring upper = script;
    for (wchar_t& c : upper) c = towupper(c);
    std::wstring dotted = folder.path() + L"\\.\\my long script.txt";
    for (const std::wstring& spelling :
         {script, upper, dotted, std::wstring(shortName), L"\\\\?\\" + script, ZDrivePath(script)}) {
        EXPECT_TRUE(IsSameFile(script.c_str(), spelling.c_str())) << Narrow(spelling);
    }
    EXPECT_FALSE(IsSameFile(script.c_str(), (folder / L"other.txt").c_str()));
    EXPECT_FALSE(IsSameFile(script.c_str(), (folder / L"missing.txt").c_str()));
}

}  // namespace
