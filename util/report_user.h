// Whose machine a report shows. A standard user who answers the elevation prompt with an
// administrator's name and password runs the program as that administrator, and Windows 11's
// Administrator protection elevates into a hidden account of its own: the program's HKCU, HKCR,
// environment and desktop are then another account's than the person's at the keyboard. A run then
// describes the signed-in user of the process's session, read with the token of the shell's process
// where that can be opened (an elevated administrator can, with the debug privilege) and from the
// registry where not.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "util/handles.h"

// Whether a run describes the signed-in user instead of the account the program runs as: only when
// one was found and it is another account. SIDs are compared as their texts ("S-1-5-21-..."), case
// ignored.
bool DescribesSignedInUser(const std::wstring& processSid, const std::wstring& signedInSid, bool found);

// The header line, after the creation line, naming whose desktop, registry and environment the report
// shows: the account (DOMAIN\name; empty when the SID names none known) and its SID.
std::wstring SignedInUserLine(const std::wstring& account, const std::wstring& sid);

// One variable of a user's environment as the registry gives it where no token of the user can be had.
struct UserSetting {
    std::wstring name;
    std::wstring value;
    bool expand = false;  // REG_EXPAND_SZ: expanded against the variables as they stand when it is set
};
// `base` (NAME=value entries) with each setting set in order, replacing an entry of the same name
// (case ignored) or added at the end; an empty value removes the entry.
std::vector<std::wstring> UserVariables(std::vector<std::wstring> base, const std::vector<UserSetting>& settings);
// The NAME=value entries of an environment block (each terminated, an empty one after the last).
std::vector<std::wstring> EnvironmentEntries(const wchar_t* block);
// The temporary folder GetTempPathW would take from these variables: TMP, else TEMP, else USERPROFILE;
// empty when none is set.
std::wstring TempFolderOf(const std::vector<std::wstring>& variables);

// The signed-in user a run describes, with what the run reads of that user.
struct ReportUser {
    std::wstring sid;
    std::wstring account;                 // DOMAIN\name; empty when the SID names no known account
    KernelHandle token;                   // the shell's token; empty when it could not be opened
    RegKey currentUser;                   // HKEY_USERS\<sid>
    RegKey classesRoot;                   // the user's merged classes; the machine's where there is no token
    std::vector<std::wstring> variables;  // the user's environment, NAME=value
    std::wstring registryDesktop;         // the desktop as that user's registry records it; may be empty
    std::wstring tempFolder;              // that user's temporary folder; may be empty
};

// The SID of the process's session's user (WTSQuerySessionInformationW's user and domain, looked up)
// into `sid`: the account signed in at the console or remote desktop whatever account the program runs
// as. Any process may ask about its own session. `sid` is left empty in session 0 (services, tasks) or
// when the account cannot be looked up; false when the session service gives no answer at all.
bool AskSessionUser(std::wstring& sid);

// The signed-in user of the process's session when that is another account than the program's, and its
// registry hive is loaded and readable; null when none is found (a service, a scheduled task, a remote
// shell have no shell window and no session user) or it is the program's own account. The caller owns
// the result.
std::unique_ptr<ReportUser> FindReportUser();

// For the object's life the run's directives read `user`'s HKCU, HKCR and environment; nothing changes
// for null. Made and ended outside the scan's threads.
class ReportUserScope {
public:
    explicit ReportUserScope(const ReportUser* user);
    ~ReportUserScope();
    ReportUserScope(const ReportUserScope&) = delete;
    ReportUserScope& operator=(const ReportUserScope&) = delete;

private:
    bool set_ = false;
};
