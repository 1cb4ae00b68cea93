// ASSOC: the command that opens files of an extension, looked up through its file type, and the
// program the user chose instead, where Explorer keeps that choice.
#include <windows.h>
// shlwapi.h needs the types of windows.h first.
#include <shlwapi.h>

#include <optional>
#include <vector>

#include "directives/files/files.h"
#include "report/log.h"
#include "util/handles.h"
#include "util/registry.h"

namespace {

const wchar_t kNoExtensionKey[] = L"Unable to open extension key.";
const wchar_t kNoFileString[] = L"Unable to get filename string.";
const wchar_t kNoCommandKey[] = L"Unable to open command key.";
const wchar_t kNoAssocString[] = L"Unable to get association string.";
const wchar_t kOpenCommand[] = L"\\shell\\open\\command";
const wchar_t kFileExts[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";
// Windows 11 keeps the choice in UserChoiceLatest now, and UserChoice before it.
const wchar_t* const CHOICE_KEYS[] = {L"\\UserChoiceLatest", L"\\UserChoice"};
const wchar_t kProgIdValue[] = L"ProgId";
const wchar_t kChoiceLabel[] = L"User Choice: ";
const wchar_t kNoProgId[] = L"(Unable to read ProgId)";
const wchar_t kNoCommandLine[] = L" (no command line)";
// Longest friendly name taken, in characters.
const DWORD kMaxFriendlyLength = 32768;

// The default value of HKCR\<path> taken as text whatever its type: up to its first NUL, or `whole`
// as names are shown. Returns false with the first message when the key cannot be opened, the second
// when the value cannot be read.
bool ReadDefaultText(const wchar_t* path, const wchar_t* noKey, const wchar_t* noValue, std::wstring& result,
                     bool whole = false) {
    RegKey key = OpenKey(DirectiveRoot(HKEY_CLASSES_ROOT), path);
    if (!key) {
        result = noKey;
        return false;
    }
    DWORD type = 0;
    std::vector<BYTE> data;
    if (ReadValue(key.get(), L"", type, data) != ERROR_SUCCESS) {
        result = noValue;
        return false;
    }
    result = whole ? VisibleName(StringDataWhole(data)) : StringDataText(data);
    return true;
}

// The ProgId of the user's choice for `extension`, whole: nothing when there is no choice key, an
// empty text when a choice key holds no readable ProgId.
std::optional<std::wstring> GetChoiceProgId(const wchar_t* extension) {
    bool keyFound = false;
    for (const wchar_t* choice : CHOICE_KEYS) {
        RegKey key = OpenKey(DirectiveRoot(HKEY_CURRENT_USER), (std::wstring(kFileExts) + extension + choice).c_str());
        if (!key) continue;
        keyFound = true;
        DWORD type = 0;
        std::vector<BYTE> data;
        if (ReadValue(key.get(), kProgIdValue, type, data) != ERROR_SUCCESS) continue;
        std::wstring progId = StringDataWhole(data);
        if (!progId.empty()) return progId;
    }
    if (!keyFound) return std::nullopt;
    return std::wstring();
}

// The name the shell gives the program of `progId`'s open verb (a packaged app's display name); empty
// when it has none.
std::wstring FriendlyAppName(const wchar_t* progId) {
    DWORD length = 0;
    HRESULT sized = AssocQueryStringW(ASSOCF_NOTRUNCATE, ASSOCSTR_FRIENDLYAPPNAME, progId, nullptr, nullptr, &length);
    if ((sized != S_OK && sized != S_FALSE) || length == 0 || length > kMaxFriendlyLength) return {};
    std::vector<wchar_t> name(length + 1, L'\0');
    if (AssocQueryStringW(ASSOCF_NOTRUNCATE, ASSOCSTR_FRIENDLYAPPNAME, progId, nullptr, name.data(), &length) != S_OK)
        return {};
    return name.data();
}

}  // namespace

bool GetFileString(const wchar_t* extension, std::wstring& result) {
    return ReadDefaultText(extension, kNoExtensionKey, kNoFileString, result);
}

std::wstring GetAssoc(const wchar_t* fileType) {
    std::wstring result;
    ReadDefaultText((std::wstring(fileType) + kOpenCommand).c_str(), kNoCommandKey, kNoAssocString, result);
    return result;
}

std::wstring UserChoiceLine(const UserChoice& choice) {
    std::wstring line = kChoiceLabel;
    if (choice.progId.empty()) return line + kNoProgId;
    line += VisibleName(choice.progId);
    line += L" - ";
    if (!choice.commandRead && !choice.friendlyName.empty())
        return line + VisibleName(choice.friendlyName) + kNoCommandLine;
    return line + choice.command;
}

void FileAssoc(wchar_t* line, FILE* report, WorkPool&) {
    std::wstring text = kLineEnd;
    text += line;
    text += kLineEnd;
    std::wstring result;
    const bool typed = GetFileString(line, result);
    const std::wstring registered = typed ? result : std::wstring();
    if (typed) result = GetAssoc(result.c_str());
    text += result;
    text += kLineEnd;
    // The choice's class as Windows opens it: up to a NUL. The registered class chosen again is no choice.
    std::optional<std::wstring> progId = GetChoiceProgId(line);
    const std::wstring chosen = progId ? progId->substr(0, progId->find(L'\0')) : std::wstring();
    if (progId && !(typed && !chosen.empty() && _tcscmpi(chosen.c_str(), registered.c_str()) == 0)) {
        UserChoice choice;
        choice.progId = *progId;
        if (!chosen.empty()) {
            choice.commandRead =
                ReadDefaultText((chosen + kOpenCommand).c_str(), kNoCommandKey, kNoAssocString, choice.command, true);
            if (!choice.commandRead) choice.friendlyName = FriendlyAppName(chosen.c_str());
        }
        text += UserChoiceLine(choice);
        text += kLineEnd;
    }
    Log(text.c_str(), report);
}
