#include "util/environment.h"

#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "util/sized_fetch.h"

namespace {

// Value of a variable, or false when it is not set.
bool LookupVariable(const std::wstring& name, std::wstring& value) {
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
    // The answer counts the terminator: the size it wants when that is more than it had.
    auto expand = [&](wchar_t* expanded, DWORD capacity, DWORD* needed) {
        DWORD answer = ExpandEnvironmentStringsW(text, expanded, capacity);
        *needed = answer;
        SetLastError(answer == 0 || answer >= kSystemLimit ? ERROR_INVALID_DATA : ERROR_MORE_DATA);
        return answer != 0 && answer < kSystemLimit && answer <= capacity;
    };
    std::vector<wchar_t> buffer;
    if (wcslen(text) < kSystemLimit && FetchSizedText(buffer, expand)) return CopyText(buffer.data());
    return CopyText(ExpandLongText(text));
}
