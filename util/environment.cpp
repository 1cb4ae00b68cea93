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

// The same rules for texts beyond the system call's limit: a reference ends at the next percent sign;
// an unknown one is copied up to but not including that sign, which may start the next reference.
std::wstring ExpandLongText(const wchar_t* text) {
    std::wstring result;
    std::wstring value;
    const wchar_t* cursor = text;
    while (*cursor != L'\0') {
        if (*cursor != L'%') {
            const wchar_t* next = wcschr(cursor, L'%');
            size_t count = next ? static_cast<size_t>(next - cursor) : wcslen(cursor);
            result.append(cursor, count);
            cursor += count;
            continue;
        }
        const wchar_t* close = wcschr(cursor + 1, L'%');
        if (close == nullptr) {
            result.append(cursor);
            break;
        }
        std::wstring name(cursor + 1, close);
        if (!name.empty() && LookupVariable(name, value)) {
            result += value;
            cursor = close + 1;
        } else {
            result.append(cursor, close);
            cursor = close;
        }
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
