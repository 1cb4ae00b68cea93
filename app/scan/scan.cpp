#include "app/scan/scan.h"

#include <windows.h>

#include <vector>

#include "report/create_log.h"
#include "report/log.h"
#include "util/handles.h"
#include "util/native_view.h"
#include "util/sized_fetch.h"

namespace {

const wchar_t kLimitedUser[] = L" (Limited User)\r\n";
const wchar_t kAdministrator[] = L" (Administrator - ";
const wchar_t kTokenNotOpened[] = L"Failed to open access token)\r\n";
const wchar_t kPrivilegeNotFound[] = L"Unable to find security privilege value)\r\n";
const wchar_t kPrivilegeNotAdjusted[] = L"Failed to adjust privileges)\r\n";
const wchar_t kElevated[] = L"Elevation successful)\r\n";
const wchar_t kEndMarker[] = L"\r\n-=End Of File=-";
const wchar_t kDebugPrivilege[] = L"SeDebugPrivilege";

// Standard rights and every token right up to adjusting defaults, among them adjusting privileges.
constexpr DWORD kTokenAllAccess = 0xF00FF;

const wchar_t* EnableDebugPrivilege() {
    KernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), kTokenAllAccess, token.put()) || !token) return kTokenNotOpened;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, kDebugPrivilege, &privileges.Privileges[0].Luid)) return kPrivilegeNotFound;
    // Only the call's result counts: a partial assignment after a successful call is still success.
    if (!AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr)) return kPrivilegeNotAdjusted;
    return kElevated;
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
        if (EqualSid(list->Groups[i].Sid, administrators.get())) return 1;
    }
    return 0;
}

void LogPrivileges(FILE* report) {
    if (!IsAdmin()) {
        Log(kLimitedUser, report);
        return;
    }
    Log(kAdministrator, report);
    Log(EnableDebugPrivilege(), report);
}

ScanOutcome RunScan(wchar_t* script, const ScanOptions& options, unsigned long* createError) {
    if (script == nullptr || script[0] == L'\0') return ScanOutcome::EmptyScript;
    Stream report = options.reportPath ? CreateLogAt(options.reportPath) : CreateLog();
    if (!report) {
        if (createError != nullptr) *createError = GetLastError();
        return ScanOutcome::ReportNotCreated;
    }
    LogPrivileges(report.get());
    {
        NativeFileSystemView nativeFiles;  // the x86 build under WOW64 reads the real System32
        ParseScript(script, report.get(), options.observer, options.observerContext);
    }
    Log(kEndMarker, report.get());
    report.reset();  // Notepad is shown the finished file
    if (options.openReport) {
        if (options.reportPath) {
            OpenLogAt(options.reportPath);
        } else {
            OpenLog();
        }
    }
    return ScanOutcome::Completed;
}
