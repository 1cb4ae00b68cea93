#include "util/environment.h"

#include <windows.h>

#include <cwchar>
#include <string>

namespace {

// Value of a variable, or false when it is not set.
bool LookupVariable(const std::wstring& name, std::wstring& value) {
    DWORD capacity = 256;
    for (int attempt = 0; attempt < 4; ++attempt) {
        value.assign(capacity, L'\0');
        SetLastError(ERROR_SUCCESS);
        DWORD length = GetEnvironmentVariableW(name.c_str(), value.data(), capacity);
        if (length == 0) {
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
            value.clear();
            return true;
        }
        if (length < capacity) {
            value.resize(length);
            return true;
        }
        capacity = length + 1;
    }
    return false;
}

// The system call's rules, for texts beyond its limit: a reference runs from a percent sign to the
// next one. A set variable becomes its value; an unknown or empty name, or one with "=" after its
// first character (which no variable can have), is copied whole, closing sign included, and the scan
// goes on after it. A percent sign with no partner is copied as it stands.
std::wstring ExpandLongText(const wchar_t* text) {
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
        if (!name.empty() && name.find(L'=', 1) == std::wstring::npos && LookupVariable(name, value)) {
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

}  // namespace

OwnedText ExpandEnvironment(const wchar_t* text) {
    DWORD needed = wcslen(text) < kSystemLimit ? ExpandEnvironmentStringsW(text, nullptr, 0) : 0;
    for (int attempt = 0; needed != 0 && needed < kSystemLimit && attempt < 4; ++attempt) {
        OwnedText expanded = AllocText(needed);
        DWORD written = ExpandEnvironmentStringsW(text, expanded.get(), needed);
        if (written != 0 && written <= needed) return expanded;
        needed = written;  // the environment grew in between: try again with the new size
    }
    std::wstring expanded = ExpandLongText(text);
    OwnedText result = AllocText(expanded.size());
    wmemcpy(result.get(), expanded.data(), expanded.size());
    return result;
}
