#include "app/scan/scan.h"

#include <windows.h>

#include <memory>
#include <string>

#include "report/create_log.h"
#include "report/fallbacks.h"
#include "report/log.h"
#include "util/disk_file.h"
#include "util/handles.h"
#include "util/native_view.h"
#include "util/path_forms.h"
#include "util/report_user.h"
#include "util/work_pool.h"

namespace {

const wchar_t kLimitedUser[] = L" (Limited User)\r\n";
const wchar_t kAdministrator[] = L" (Administrator - ";
const wchar_t kTokenNotOpened[] = L"Failed to open access token)\r\n";
const wchar_t kPrivilegeNotFound[] = L"Unable to find security privilege value)\r\n";
const wchar_t kPrivilegeNotAdjusted[] = L"Failed to adjust privileges)\r\n";
const wchar_t kElevated[] = L"Elevation successful)\r\n";
const wchar_t kEndMarker[] = L"\r\n-=End Of File=-";
const wchar_t kDebugPrivilege[] = L"SeDebugPrivilege";
const wchar_t kBackupPrivilege[] = L"SeBackupPrivilege";
const wchar_t kNotElevated[] =
    L"not running elevated: the report shows only what this account may read without administrator rights";

const wchar_t* PrivilegeText(PrivilegeAttempt attempt) {
    switch (attempt) {
        case PrivilegeAttempt::kTokenNotOpened:
            return kTokenNotOpened;
        case PrivilegeAttempt::kNotFound:
            return kPrivilegeNotFound;
        case PrivilegeAttempt::kNotAdjusted:
            return kPrivilegeNotAdjusted;
        case PrivilegeAttempt::kEnabled:
            break;
    }
    return kElevated;
}

}  // namespace

bool LogPrivilegesBy(bool admin, const PrivilegeEnabler& enable, FILE* report) {
    if (!admin) {
        Log(kLimitedUser, report);
        return false;
    }
    Log(kAdministrator, report);
    Log(PrivilegeText(enable(kDebugPrivilege)), report);
    // Without it an administrator cannot list System Volume Information, WindowsApps or other users'
    // profiles, nor read files whose access list shuts Administrators out. It is honoured only by opens
    // for backup: FindFirstFileExW's own open of a folder is one, and the by-path opens for reading ask
    // for it (ReadOpenFlags). GetFileAttributesW and GetFileVersionInfoW take no such flag: where they
    // are refused, an open for backup reads the attributes or the version record. The header tells only
    // of the debug privilege.
    return enable(kBackupPrivilege) == PrivilegeAttempt::kEnabled;
}

void LogPrivileges(FILE* report) {
    // Privileges live in the process token, which every thread of the scan acts with (none
    // impersonates): enabled here, before the pool starts, they hold on all of them.
    SetBackupReads(LogPrivilegesBy(IsAdmin() != 0, EnablePrivilege, report));
}

bool ShowsProgress(size_t lineNumber, size_t lineCount, ULONGLONG nowMs, ULONGLONG shownMs) {
    return lineNumber <= 1 || lineNumber >= lineCount || nowMs < shownMs || nowMs - shownMs >= kProgressIntervalMs;
}

const wchar_t* ElevationNotice(bool queried, DWORD tokenIsElevated) {
    return KnownNotElevated(queried, tokenIsElevated) ? kNotElevated : nullptr;
}

namespace {

// Whether the report at `path` would overwrite the script the run was given, however either is spelt.
bool IsTheScript(const ScanOptions& options, const std::wstring& path) {
    return options.scriptPath != nullptr && IsSameFile(options.scriptPath, path.c_str());
}

// Whether the folder the report at `path` was to go into exists as a folder.
bool InAFolder(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return false;
    return DoesFolderExist(OpenablePathOf(path.substr(0, slash + 1).c_str()).path.c_str());
}

// The report opened where the run writes it: the path asked for, else the desktop (the signed-in
// user's when the run describes that user), or the temporary folder when the desktop refuses it. No
// place that is the script is written: `isScript` says so, with that place in the result.
Stream CreateRunReport(const ScanOptions& options, const ReportUser* user, ScanResult& result, bool& isScript) {
    if (options.reportPath != nullptr) {
        result.reportPath = options.reportPath;
        isScript = IsTheScript(options, result.reportPath);
        Stream report = isScript ? Stream() : CreateLog(options.reportPath);
        if (!report && !isScript) result.systemError = GetLastError();
        return report;
    }
    result.reportPath = GetReportPath(user);
    if (result.reportPath.empty()) return Stream();
    isScript = IsTheScript(options, result.reportPath);
    if (isScript) return Stream();
    Stream report = CreateLog(result.reportPath.c_str());
    if (report) {
        // A desktop may let the report be created and then refuse what is written into it.
        FlushLog(report.get());
        result.systemError = TakeLogFailure(report.get());
        if (result.systemError == 0) return report;
        report.reset();
    } else {
        result.systemError = GetLastError();
    }
    const std::wstring temporary = user != nullptr ? TempReportPath(user->tempFolder) : UserTempReportPath();
    if (!FolderRefusedReport(result.systemError, InAFolder(result.reportPath)) || temporary.empty()) return report;
    if (IsTheScript(options, temporary)) {
        isScript = true;
        result.reportPath = temporary;
        return report;
    }
    report = CreateLog(temporary.c_str());
    // Where neither place takes it, the desktop's refusal is the one to tell.
    if (!report) return report;
    result.desktopRefusal = result.systemError;
    result.systemError = 0;
    result.reportPath = temporary;
    return report;
}

}  // namespace

ScanOutcome RunScan(wchar_t* script, const ScanOptions& options, ScanResult* result) {
    ScanResult local;
    ScanResult& told = result != nullptr ? *result : local;
    if (script == nullptr || script[0] == L'\0') return ScanOutcome::EmptyScript;
    // Cloud files are to be seen as what they are before anything is read (a setting of the process).
    ExposePlaceholders();
    // The shell of a user who elevated with another account's password runs as that user: an
    // administrator opens its token only with the debug privilege, which the header's privilege step
    // enables again (and says so) in a moment.
    if (IsAdmin()) EnablePrivilege(kDebugPrivilege);
    const std::unique_ptr<ReportUser> user = FindReportUser();
    bool isScript = false;
    Stream report = CreateRunReport(options, user.get(), told, isScript);
    if (isScript) return ScanOutcome::ReportIsScript;
    if (!report) return ScanOutcome::ReportNotCreated;
    {
        ReportFlusher flusher(report.get());  // stopped before the report is closed
        LogPrivileges(report.get());
        if (user) Log(SignedInUserLine(user->account, user->sid).c_str(), report.get());
        FlushLog(report.get());
        // From here on HKCU, HKCR and %references% are the signed-in user's.
        const ReportUserScope describedUser(user.get());
        NativeFileSystemView nativeFiles;  // the x86 build under WOW64 reads the real System32
        // Its threads enter the same views before their first job.
        WorkPool pool(DefaultPoolSize(options.threads), InNativeViews);
        ParseScript(script, report.get(), pool, options.observer, options.observerContext);
        Log(kEndMarker, report.get());
    }
    if (unsigned long failure = CloseLog(report)) {
        told.systemError = failure;
        return ScanOutcome::ReportIncomplete;
    }
    return ScanOutcome::Completed;
}
