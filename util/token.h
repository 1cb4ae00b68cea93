// The process's own token: whether it is an administrator's, whether it runs elevated, and enabling
// a privilege in it.
#pragma once

#include <windows.h>

// 1 when the process token's group list holds the Administrators group enabled, as
// CheckTokenMembership counts it.
int IsAdmin();

// Whether a token group with these attributes counts as membership. Under UAC a non-elevated
// administrator's token holds Administrators as a deny-only group, which grants nothing.
bool GroupCountsAsMember(DWORD attributes);

// How an attempt to enable a privilege in the process token ended.
enum class PrivilegeAttempt { kTokenNotOpened, kNotFound, kNotAdjusted, kEnabled };
// Enables the privilege `name` in the process token. Privileges live in the process token, which
// every thread that does not impersonate acts with.
PrivilegeAttempt EnablePrivilege(const wchar_t* name);

// Whether AdjustTokenPrivileges gave the privilege: it returns success with ERROR_NOT_ALL_ASSIGNED
// when the token does not hold the privilege at all (a non-elevated token has no SeDebugPrivilege).
bool PrivilegeWasAssigned(BOOL result, DWORD lastError);

// Whether the process is known to run without elevation: the token's TokenElevation could be read
// (`queried`) and says not elevated. Unknown counts as not known to be limited. A non-elevated
// administrator under UAC reads TokenIsElevated 0.
bool KnownNotElevated(bool queried, DWORD tokenIsElevated);
// Reads TokenElevation of the process's own token into `tokenIsElevated`; false when it cannot.
bool QueryProcessElevation(DWORD& tokenIsElevated);
