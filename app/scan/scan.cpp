#include "app/scan/scan.h"

#include <windows.h>

#include <string>
#include <vector>

#include "report/create_log.h"
#include "report/fallbacks.h"
#include "report/log.h"
#include "util/disk_file.h"
#include "util/handles.h"
#include "util/native_view.h"
#include "util/owned.h"
#include "util/sized_fetch.h"
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
const wchar_t kNotElevated[] =
    L"not running elevated: the report shows only what this account may read without administrator rights";

// The rights enabling a privilege needs and no more: AdjustTokenPrivileges needs
// TOKEN_ADJUST_PRIVILEGES, and TOKEN_QUERY whenever it is to report the previous state.
constexpr DWORD kPrivilegeTokenAccess = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;

const wchar_t* EnableDebugPrivilege() {
    KernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), kPrivilegeTokenAccess, token.put()) || !token) return kTokenNotOpened;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, kDebugPrivilege, &privileges.Privileges[0].Luid)) return kPrivilegeNotFound;
    BOOL adjusted = AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    return PrivilegeWasAssigned(adjusted, GetLastError()) ? kElevated : kPrivilegeNotAdjusted;
}

}  // namespace

int IsAdmin() {
    KernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_READ, token.put())) return 0;
    // Sized by the token itself, so a user in many groups is still recognised.
    std::vector<BYTE> groups;
    if (!FetchSized(groups,
                    [&](BYTE* data, DWORD size, DWORD* needed) {
                        return GetTokenInformation(token.get(), TokenGroups, data, size, needed) != FALSE;
                    }) ||
        groups.size() < sizeof(TOKEN_GROUPS)) {
        return 0;
    }

    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    SidHandle administrators;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                  0, administrators.put())) {
        return 0;
    }
    const auto* list = reinterpret_cast<const TOKEN_GROUPS*>(groups.data());
    for (DWORD i = 0; i < list->GroupCount; ++i) {
        if (EqualSid(list->Groups[i].Sid, administrators.get()))
            return GroupCountsAsMember(list->Groups[i].Attributes) ? 1 : 0;
    }
    return 0;
}

bool GroupCountsAsMember(DWORD attributes) {
    return (attributes & SE_GROUP_ENABLED) != 0 && (attributes & SE_GROUP_USE_FOR_DENY_ONLY) == 0;
}

bool PrivilegeWasAssigned(BOOL result, DWORD lastError) {
    return result != FALSE && lastError != ERROR_NOT_ALL_ASSIGNED;
}

void LogPrivileges(FILE* report) {
    if (!IsAdmin()) {
        Log(kLimitedUser, report);
        return;
    }
    Log(kAdministrator, report);
    Log(EnableDebugPrivilege(), report);
}

bool KnownNotElevated(bool queried, DWORD tokenIsElevated) { return queried && tokenIsElevated == 0; }

bool QueryProcessElevation(DWORD& tokenIsElevated) {
    KernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size)) return false;
    tokenIsElevated = elevation.TokenIsElevated;
    return true;
}

const wchar_t* ElevationNotice(bool queried, DWORD tokenIsElevated) {
    return KnownNotElevated(queried, tokenIsElevated) ? kNotElevated : nullptr;
}

bool SameFileIdentity(const BY_HANDLE_FILE_INFORMATION& first, const BY_HANDLE_FILE_INFORMATION& second) {
    return IdentityOf(first) == IdentityOf(second);
}

bool IsSameFile(const wchar_t* first, const wchar_t* second) {
    FileIdentity one;
    FileIdentity other;
    return ReadFileIdentity(first, one) && ReadFileIdentity(second, other) && one == other;
}

namespace {

// The report opened where the run writes it: the path asked for, else the desktop, or the temporary
// folder when the desktop refuses it.
Stream CreateRunReport(const ScanOptions& options, ScanResult& result) {
    if (options.reportPath != nullptr) {
        result.reportPath = options.reportPath;
        Stream report = CreateLogAt(options.reportPath);
        if (!report) result.systemError = GetLastError();
        return report;
    }
    OwnedText desktop = GetReportPath();
    if (!desktop) return Stream();
    result.reportPath = desktop.get();
    Stream report = CreateLogAt(desktop.get());
    if (report) return report;
    result.systemError = GetLastError();
    const std::wstring temporary = UserTempReportPath();
    if (!FolderRefusedReport(result.systemError) || temporary.empty()) return report;
    report = CreateLogAt(temporary.c_str());
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
    Stream report = CreateRunReport(options, told);
    if (!report) return ScanOutcome::ReportNotCreated;
    {
        ReportFlusher flusher(report.get());  // stopped before the report is closed
        LogPrivileges(report.get());
        FlushLog(report.get());
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
