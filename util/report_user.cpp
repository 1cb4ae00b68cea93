#include "util/report_user.h"

#include <windows.h>
// clang-format off
#include <sddl.h>  // needs windows.h first
#include <wtsapi32.h>
// clang-format on

#include <string>
#include <vector>

#include "util/environment.h"
#include "util/registry.h"
#include "util/registry_values.h"
#include "util/sized_fetch.h"
#include "util/system_function.h"
#include "util/test_hooks.h"

namespace {

const wchar_t kSignedInUser[] = L"Signed-in user: ";
const wchar_t kSignedInUserEnd[] = L" (the desktop, HKCU, HKCR and environment in this report are this user's)\r\n";
const wchar_t kProfileList[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
const wchar_t kUserShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t kMachineClasses[] = L"SOFTWARE\\Classes";

std::wstring testSid;

bool SameName(const std::wstring& entry, size_t nameLength, const std::wstring& name) {
    return nameLength == name.size() && CompareStringOrdinal(entry.c_str(), static_cast<int>(nameLength), name.c_str(),
                                                             static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

std::wstring SidText(PSID sid) {
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return {};
    std::wstring result = text;
    LocalFree(text);
    return result;
}

std::wstring TokenUserSid(HANDLE token) {
    std::vector<BYTE> user;
    if (!FetchSized(user,
                    [&](BYTE* data, DWORD size, DWORD* needed) {
                        return GetTokenInformation(token, TokenUser, data, size, needed) != FALSE;
                    }) ||
        user.size() < sizeof(TOKEN_USER)) {
        return {};
    }
    return SidText(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
}

// The token of the shell's process. Opening another account's process needs the debug privilege
// enabled (OpenProcessToken's documentation); the known-folder and environment-block calls want
// TOKEN_IMPERSONATE and TOKEN_DUPLICATE beside TOKEN_QUERY, which alone still gives the SID and the
// merged classes.
KernelHandle ShellToken() {
    const auto getShellWindow = SystemFunction<HWND(WINAPI*)()>(L"user32.dll", "GetShellWindow");
    const auto windowProcess = SystemFunction<DWORD(WINAPI*)(HWND, DWORD*)>(L"user32.dll", "GetWindowThreadProcessId");
    KernelHandle token;
    if (getShellWindow == nullptr || windowProcess == nullptr) return token;
    const HWND shell = getShellWindow();
    DWORD processId = 0;
    if (shell == nullptr || windowProcess(shell, &processId) == 0 || processId == 0) return token;
    KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return token;
    if (!OpenProcessToken(process.get(), TOKEN_QUERY | TOKEN_IMPERSONATE | TOKEN_DUPLICATE, token.put())) {
        OpenProcessToken(process.get(), TOKEN_QUERY, token.put());
    }
    return token;
}

}  // namespace

bool AskSessionUser(std::wstring& sid) {
    using QueryFn = BOOL(WINAPI*)(HANDLE, DWORD, WTS_INFO_CLASS, wchar_t**, DWORD*);
    using FreeFn = void(WINAPI*)(void*);
    const auto query = SystemFunction<QueryFn>(L"wtsapi32.dll", "WTSQuerySessionInformationW");
    const auto release = SystemFunction<FreeFn>(L"wtsapi32.dll", "WTSFreeMemory");
    if (query == nullptr || release == nullptr) return false;
    bool answered = true;
    auto ask = [&](WTS_INFO_CLASS what) {
        wchar_t* text = nullptr;
        DWORD bytes = 0;
        std::wstring answer;
        if (query(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, what, &text, &bytes) && text != nullptr) {
            answer.assign(text, wcsnlen(text, bytes / sizeof(wchar_t)));
        } else {
            answered = false;
        }
        release(text);
        return answer;
    };
    const std::wstring name = ask(WTSUserName);
    if (name.empty()) return answered;  // session 0 (services and tasks) has no user
    const std::wstring domain = ask(WTSDomainName);
    const std::wstring account = domain.empty() ? name : domain + L"\\" + name;
    std::vector<BYTE> found(SECURITY_MAX_SID_SIZE);
    DWORD sidSize = static_cast<DWORD>(found.size());
    wchar_t domainName[256] = {};
    DWORD domainLength = 256;
    SID_NAME_USE use = SidTypeUnknown;
    if (!LookupAccountNameW(nullptr, account.c_str(), found.data(), &sidSize, domainName, &domainLength, &use)) {
        return true;
    }
    sid = SidText(found.data());
    return true;
}

namespace {

std::wstring AccountOf(const std::wstring& sidText) {
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(sidText.c_str(), &sid)) return {};
    wchar_t name[256] = {};
    wchar_t domain[256] = {};
    DWORD nameLength = 256;
    DWORD domainLength = 256;
    SID_NAME_USE use = SidTypeUnknown;
    std::wstring account;
    if (LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use)) {
        account = domain[0] != L'\0' ? std::wstring(domain) + L"\\" + name : std::wstring(name);
    }
    LocalFree(sid);
    return account;
}

// The environment block CreateEnvironmentBlock builds for the token, without this process's.
bool TokenVariables(HANDLE token, std::vector<std::wstring>& variables) {
    using CreateFn = BOOL(WINAPI*)(void**, HANDLE, BOOL);
    using DestroyFn = BOOL(WINAPI*)(void*);
    const auto create = SystemFunction<CreateFn>(L"userenv.dll", "CreateEnvironmentBlock");
    const auto destroy = SystemFunction<DestroyFn>(L"userenv.dll", "DestroyEnvironmentBlock");
    void* block = nullptr;
    if (create == nullptr || destroy == nullptr || !create(&block, token, FALSE) || block == nullptr) return false;
    variables = EnvironmentEntries(static_cast<const wchar_t*>(block));
    destroy(block);
    return !variables.empty();
}

void AddKeySettings(HKEY key, std::vector<UserSetting>& settings) {
    if (key == nullptr) return;
    KeyReader reader;
    ForEachValue(key, FitBuffers(key, reader).values, reader, [&] {
        if (reader.type == REG_SZ || reader.type == REG_EXPAND_SZ) {
            settings.push_back({std::wstring(reader.name.data(), reader.nameLength),
                                StringDataText(reader.data.data(), reader.dataSize), reader.type == REG_EXPAND_SZ});
        }
        return true;
    });
}

// Where no token can be had: this process's environment with what the registry records of the user
// laid over it, in the order the system builds a user's block (profile, then the user's variables,
// then the logon's volatile ones).
std::vector<std::wstring> RegistryVariables(const ReportUser& user) {
    std::vector<std::wstring> base;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        base = EnvironmentEntries(block);
        FreeEnvironmentStringsW(block);
    }
    std::vector<UserSetting> settings;
    std::optional<std::wstring> profile =
        GetRegSZValue(HKEY_LOCAL_MACHINE, (kProfileList + user.sid).c_str(), L"ProfileImagePath");
    if (profile) settings.push_back({L"USERPROFILE", *profile, true});
    const size_t slash = user.account.find(L'\\');
    if (!user.account.empty()) settings.push_back({L"USERNAME", user.account.substr(slash + 1), false});
    const HKEY hive = user.currentUser.get();
    std::optional<std::wstring> appData = GetRegSZValue(hive, kUserShellFolders, L"AppData");
    if (appData) settings.push_back({L"APPDATA", *appData, true});
    std::optional<std::wstring> localAppData = GetRegSZValue(hive, kUserShellFolders, L"Local AppData");
    if (localAppData) settings.push_back({L"LOCALAPPDATA", *localAppData, true});
    AddKeySettings(OpenKey(hive, L"Environment").get(), settings);
    AddKeySettings(OpenKey(hive, L"Volatile Environment").get(), settings);
    return UserVariables(std::move(base), settings);
}

std::wstring RegistryDesktop(const ReportUser& user) {
    std::optional<std::wstring> stored = GetRegSZValue(user.currentUser.get(), kUserShellFolders, L"Desktop");
    if (!stored) stored = GetRegSZValue(user.currentUser.get(), kShellFolders, L"Desktop");
    return stored ? ExpandWithVariables(user.variables, stored->c_str()) : std::wstring();
}

}  // namespace

void SetSignedInSidForTest(const std::wstring& sid) { testSid = sid; }

bool DescribesSignedInUser(const std::wstring& processSid, const std::wstring& signedInSid, bool found) {
    if (!found || signedInSid.empty()) return false;
    return CompareStringOrdinal(processSid.c_str(), -1, signedInSid.c_str(), -1, TRUE) != CSTR_EQUAL;
}

std::wstring SignedInUserLine(const std::wstring& account, const std::wstring& sid) {
    return kSignedInUser + (account.empty() ? sid : account + L", " + sid) + kSignedInUserEnd;
}

std::vector<std::wstring> UserVariables(std::vector<std::wstring> base, const std::vector<UserSetting>& settings) {
    for (const UserSetting& setting : settings) {
        const std::wstring value = setting.expand ? ExpandWithVariables(base, setting.value.c_str()) : setting.value;
        bool replaced = false;
        for (auto entry = base.begin(); entry != base.end(); ++entry) {
            const size_t equals = entry->find(L'=', 1);
            if (equals == std::wstring::npos || !SameName(*entry, equals, setting.name)) continue;
            if (value.empty()) {
                base.erase(entry);
            } else {
                *entry = setting.name + L"=" + value;
            }
            replaced = true;
            break;
        }
        if (!replaced && !value.empty()) base.push_back(setting.name + L"=" + value);
    }
    return base;
}

std::vector<std::wstring> EnvironmentEntries(const wchar_t* block) {
    std::vector<std::wstring> entries;
    for (const wchar_t* entry = block; entry != nullptr && *entry != L'\0'; entry += wcslen(entry) + 1) {
        entries.emplace_back(entry);
    }
    return entries;
}

std::wstring TempFolderOf(const std::vector<std::wstring>& variables) {
    std::wstring folder;
    for (const wchar_t* name : {L"TMP", L"TEMP", L"USERPROFILE"}) {
        if (FindVariable(variables, name, folder) && !folder.empty()) return folder;
    }
    return {};
}

std::unique_ptr<ReportUser> FindReportUser() {
    KernelHandle own;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, own.put())) return nullptr;
    const std::wstring processSid = TokenUserSid(own.get());
    auto user = std::make_unique<ReportUser>();
    user->sid = testSid;
    // Where the session service does not answer, the shell's process tells whose session this is.
    if (testSid.empty() && !AskSessionUser(user->sid)) {
        user->token = ShellToken();
        if (user->token) user->sid = TokenUserSid(user->token.get());
    }
    if (processSid.empty() || !DescribesSignedInUser(processSid, user->sid, !user->sid.empty())) return nullptr;
    // Only now the shell: a run as the signed-in user, the usual one, never loads the window system
    // (under Wine its first use starts the desktop process, which would inherit a console run's output).
    if (testSid.empty() && !user->token) {
        user->token = ShellToken();
        if (user->token && TokenUserSid(user->token.get()) != user->sid) user->token.reset();
    }
    // The hive of a signed-in user is loaded; one this account may not read is not to be shown.
    user->currentUser = OpenKey(HKEY_USERS, user->sid.c_str());
    if (!user->currentUser) return nullptr;
    user->account = AccountOf(user->sid);
    if (!user->token || RegOpenUserClassesRoot(user->token.get(), 0, KEY_READ, user->classesRoot.put()) != 0) {
        user->classesRoot = OpenKey(HKEY_LOCAL_MACHINE, kMachineClasses);
    }
    if (!user->token || !TokenVariables(user->token.get(), user->variables)) user->variables = RegistryVariables(*user);
    user->registryDesktop = RegistryDesktop(*user);
    user->tempFolder = TempFolderOf(user->variables);
    return user;
}

ReportUserScope::ReportUserScope(const ReportUser* user) {
    if (user == nullptr) return;
    SetExpansionVariables(&user->variables);
    SetDirectiveRoots(user->currentUser.get(), user->classesRoot.get());
    set_ = true;
}

ReportUserScope::~ReportUserScope() {
    if (!set_) return;
    SetExpansionVariables(nullptr);
    SetDirectiveRoots(nullptr, nullptr);
}
