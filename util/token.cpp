#include "util/token.h"

#include <vector>

#include "util/handles.h"
#include "util/sized_fetch.h"

// The rights enabling a privilege needs and no more: AdjustTokenPrivileges needs
// TOKEN_ADJUST_PRIVILEGES, and TOKEN_QUERY whenever it is to report the previous state.
constexpr DWORD kPrivilegeTokenAccess = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;

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

PrivilegeAttempt EnablePrivilege(const wchar_t* name) {
    KernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), kPrivilegeTokenAccess, token.put()) || !token)
        return PrivilegeAttempt::kTokenNotOpened;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) return PrivilegeAttempt::kNotFound;
    BOOL adjusted = AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    return PrivilegeWasAssigned(adjusted, GetLastError()) ? PrivilegeAttempt::kEnabled : PrivilegeAttempt::kNotAdjusted;
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
