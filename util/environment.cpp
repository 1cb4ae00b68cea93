#include "util/environment.h"

#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "util/native_view.h"
#include "util/sized_fetch.h"

namespace {

// Set for a run that describes another account than the program's (see SetExpansionVariables).
const std::vector<std::wstring>* expansionVariables = nullptr;

// Value of a variable (among `variables` when given, else the process's), or false when it is not set.
bool LookupVariable(const std::wstring& name, const std::vector<std::wstring>* variables, std::wstring& value) {
    if (variables != nullptr) return FindVariable(*variables, name, value);
    std::vector<wchar_t> buffer;
    DWORD length = 0;
    bool set = FetchSizedText(buffer, [&](wchar_t* text, DWORD capacity, DWORD* needed) {
        SetLastError(ERROR_SUCCESS);
        DWORD answer = GetEnvironmentVariableW(name.c_str(), text, capacity);
        if (answer == 0) return GetLastError() != ERROR_ENVVAR_NOT_FOUND;  // set but empty
        if (answer >= capacity) {  // too little room: the answer is the size it wants
            *needed = answer;
            SetLastError(ERROR_MORE_DATA);
            return false;
        }
        length = answer;
        return true;
    });
    if (!set) return false;
    value.assign(buffer.begin(), buffer.begin() + length);
    return true;
}

// The value a reference to `name` takes: the native variable's where it is set, else the named one's.
bool LookupReference(const std::wstring& name, bool nativeProgramFolders, const std::vector<std::wstring>* variables,
                     std::wstring& value) {
    const std::wstring native = NativeVariableName(name, nativeProgramFolders);
    return LookupVariable(native, variables, value) || (native != name && LookupVariable(name, variables, value));
}

// The system call's rules, for texts beyond its limit and for the native program folders: a
// reference runs from a percent sign to the next one. A set variable becomes its value; an unknown or
// empty name, or one with "=" after its first character (which no variable can have), is copied
// whole, closing sign included, and the scan goes on after it. A percent sign with no partner is
// copied as it stands.
std::wstring ExpandByTheRules(const wchar_t* text, bool nativeProgramFolders,
                              const std::vector<std::wstring>* variables) {
    std::wstring result;
    std::wstring value;
    const wchar_t* cursor = text;
    while (*cursor != L'\0') {
        const wchar_t* open = wcschr(cursor, L'%');
        const wchar_t* close = open ? wcschr(open + 1, L'%') : nullptr;
        if (close == nullptr) {
            result.append(cursor);
            break;
        }
        result.append(cursor, open);
        std::wstring name(open + 1, close);
        if (!name.empty() && name.find(L'=', 1) == std::wstring::npos &&
            LookupReference(name, nativeProgramFolders, variables, value)) {
            result += value;
        } else {
            result.append(open, close + 1);
        }
        cursor = close + 1;
    }
    return result;
}

// The system call works within 32,767 characters and cuts (or fails on) anything longer.
constexpr DWORD kSystemLimit = 32767;

bool SameName(const std::wstring& name, const wchar_t* other) {
    return CompareStringOrdinal(name.c_str(), static_cast<int>(name.size()), other, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

std::wstring NativeVariableName(const std::wstring& name, bool nativeProgramFolders) {
    if (nativeProgramFolders && SameName(name, L"ProgramFiles")) return L"ProgramW6432";
    if (nativeProgramFolders && SameName(name, L"CommonProgramFiles")) return L"CommonProgramW6432";
    // WOW64 also says "x86" in PROCESSOR_ARCHITECTURE and keeps the machine's own in PROCESSOR_ARCHITEW6432.
    if (nativeProgramFolders && SameName(name, L"PROCESSOR_ARCHITECTURE")) return L"PROCESSOR_ARCHITEW6432";
    return name;
}

std::wstring ExpandEnvironment(const wchar_t* text) {
    return ExpandEnvironment(text, ProcessNativeViews().nativeProgramFolders);
}

std::wstring ExpandEnvironment(const wchar_t* text, bool nativeProgramFolders) {
    // The system call knows only the process's own values.
    if (nativeProgramFolders || expansionVariables != nullptr)
        return ExpandByTheRules(text, nativeProgramFolders, expansionVariables);
    // The answer counts the terminator: the size it wants when that is more than it had.
    auto expand = [&](wchar_t* expanded, DWORD capacity, DWORD* needed) {
        DWORD answer = ExpandEnvironmentStringsW(text, expanded, capacity);
        *needed = answer;
        SetLastError(answer == 0 || answer >= kSystemLimit ? ERROR_INVALID_DATA : ERROR_MORE_DATA);
        return answer != 0 && answer < kSystemLimit && answer <= capacity;
    };
    std::vector<wchar_t> buffer;
    if (wcslen(text) < kSystemLimit && FetchSizedText(buffer, expand)) return buffer.data();
    return ExpandByTheRules(text, false, nullptr);
}

void SetExpansionVariables(const std::vector<std::wstring>* variables) { expansionVariables = variables; }

bool FindVariable(const std::vector<std::wstring>& variables, const std::wstring& name, std::wstring& value) {
    for (const std::wstring& entry : variables) {
        // An entry is NAME=value; a name may start with "=" (the per-drive folders).
        const size_t equals = entry.find(L'=', 1);
        if (equals == std::wstring::npos || equals != name.size()) continue;
        if (CompareStringOrdinal(entry.c_str(), static_cast<int>(equals), name.c_str(), static_cast<int>(name.size()),
                                 TRUE) == CSTR_EQUAL) {
            value = entry.substr(equals + 1);
            return true;
        }
    }
    return false;
}

std::wstring ExpandWithVariables(const std::vector<std::wstring>& variables, const wchar_t* text) {
    return ExpandByTheRules(text, false, &variables);
}
