// The headless scan pipeline that both front ends run: create the report, state the privileges,
// interpret the script, write the end marker and close the report. Each front end opens it in Notepad.
#pragma once

#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

#include "script/interpreter.h"
#include "util/system_error.h"
#include "util/token.h"

struct ScanOptions {
    const wchar_t* reportPath = nullptr;  // null: the desktop report, or the temporary folder's when refused
    const wchar_t* scriptPath = nullptr;  // the script's file, which no report may overwrite; null: none
    LineObserver observer = nullptr;      // told about each script line before it runs
    void* observerContext = nullptr;
    unsigned threads = 0;  // threads the scan's work is shared between, its own included; 0: from the cores
};

enum class ScanOutcome {
    Completed,
    EmptyScript,       // nothing to do: no report is made
    ReportNotCreated,  // the report file could not be created
    ReportIncomplete,  // the run went through, but part of the report could not be written
    ReportIsScript,    // the report's place is the script's file: nothing is written
};

// What a run tells its caller besides its outcome.
struct ScanResult {
    std::wstring reportPath;        // where the report was written, or was to be; empty: no desktop known
    unsigned long systemError = 0;  // why the report is missing or incomplete
    // Not 0: the desktop refused the report with this error, and it was written to the temporary folder.
    unsigned long desktopRefusal = 0;
};

// How seldom a console run names the line it is at: often enough to be seen moving, seldom enough
// that the progress writes (a system call each, a round trip to the server under Wine) cost little
// beside the lines' own work.
constexpr ULONGLONG kProgressIntervalMs = 250;
// Whether the progress line of line `lineNumber` of `lineCount` goes out at `nowMs`, the last one
// having gone out at `shownMs`: the first and the last line always, any other once
// kProgressIntervalMs have passed since the last shown (a clock that went back shows it).
bool ShowsProgress(size_t lineNumber, size_t lineCount, ULONGLONG nowMs, ULONGLONG shownMs);

// Runs one scan of `script`, which is split in place (the caller only frees it afterwards), and fills
// `result` when given. The desktop report (no path in `options`) goes to the user's temporary folder
// when the desktop refuses it; a report at a path of the caller's choosing never moves. When the
// program runs as another account than the session's signed-in user, the desktop, HKCU, HKCR and the
// environment are that user's and the header says so (FindReportUser).
ScanOutcome RunScan(wchar_t* script, const ScanOptions& options, ScanResult* result = nullptr);

// Completes the report's creation line: the user's rights and, for an administrator, whether the
// debug privilege could be enabled in the process token. An administrator's run also enables the
// backup privilege, which the line does not mention, and reads for backup once it holds it.
void LogPrivileges(FILE* report);
using PrivilegeEnabler = std::function<PrivilegeAttempt(const wchar_t* name)>;
// LogPrivileges with the platform's part given: `enable` is asked only for an administrator, for
// SeDebugPrivilege (whose text is written) and then SeBackupPrivilege. True when the backup privilege
// was enabled.
bool LogPrivilegesBy(bool admin, const PrivilegeEnabler& enable, FILE* report);

// The console front end's line for a token read so (see KnownNotElevated), or null when there is
// nothing to say.
const wchar_t* ElevationNotice(bool queried, DWORD tokenIsElevated);
