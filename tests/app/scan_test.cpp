#include "app/scan/scan.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"
#include "util/disk_file.h"
#include "util/handles.h"

namespace {

// The body of a report, and its creation line in `creationLine`.
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
    ASSERT_TRUE(report.starts_with(kHeaderStart)) << Narrow(report);
    std::wstring creation;
    std::wstring body = BodyOf(report, creation);
    // The test prefix runs as an administrator who may enable the debug privilege.
    EXPECT_EQ(IsAdmin(), 1);
    EXPECT_TRUE(creation.ends_with(L" by alice (Administrator - Elevation successful)\r\n")) << Narrow(creation);
    EXPECT_EQ(body, Banner(L"ENV") + L"%QUILLFEN_TEST_VAR% = C:\\WINDOWS\r\n" + kEndOfFile);
}

// Only an empty script makes no report: one of nothing but line breaks or blanks still gives a whole one.
TEST(Scan, AScriptWithoutLinesStillGivesAFullReportAndOnlyAnEmptyOneNone) {
    ScratchFolder folder;
    std::wstring path = folder / L"Quillfen.txt";
    ScanOptions options;
    options.reportPath = path.c_str();
    const struct {
        std::wstring script;
        ScanOutcome outcome;
        std::wstring body;
    } rows[] = {
        {L"", ScanOutcome::EmptyScript, L"<no report>"},
        {L"\r\n\r\n\n", ScanOutcome::Completed, kEndOfFile},
        {L"   ", ScanOutcome::Completed, L"\r\nNo Context:    \r\n" + kEndOfFile},
    };
    for (auto row : rows) {
        DeleteFileW(path.c_str());
        EXPECT_EQ(RunScan(row.script.data(), options), row.outcome) << Narrow(row.script);
        std::wstring creation;
        const bool made = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
        EXPECT_EQ(made ? BodyOf(ReadUtf16File(path), creation) : L"<no report>", row.body) << Narrow(row.script);
    }
}

TEST(Scan, AHundredThousandLinesAndALineOfAHundredThousandCharacters) {
    ScratchFolder folder;
    std::wstring path = folder / L"Quillfen.txt";
    ScanOptions options;
    options.reportPath = path.c_str();

    std::wstring script = L":ENV";
    std::wstring expected = Banner(L"ENV");
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
    EXPECT_EQ(body.size(), expected.size() + kEndOfFile.size());
    EXPECT_TRUE(body == expected + kEndOfFile) << "the body differs";
}

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

}  // namespace
