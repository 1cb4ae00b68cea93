#include "util/strings.h"

#include <cwchar>

wchar_t* Strip(wchar_t* text) {
    size_t length = wcslen(text);
    while (length > 0 && text[length - 1] == L' ') text[--length] = L'\0';
    while (*text == L' ') ++text;
    return text;
}

std::vector<std::wstring> Split(const wchar_t* text, const wchar_t* separators) {
    std::vector<std::wstring> tokens;
    for (const wchar_t* cursor = text + wcsspn(text, separators); *cursor != L'\0';
         cursor += wcsspn(cursor, separators)) {
        const size_t length = wcscspn(cursor, separators);
        tokens.emplace_back(cursor, length);
        cursor += length;
    }
    return tokens;
}

void _tcstoupr(wchar_t* text) {
    for (; *text != L'\0'; ++text) *text = FoldCase(*text);
}

bool EndsWithIgnoringCase(const std::wstring& text, const wchar_t* suffix) {
    const size_t length = wcslen(suffix);
    return text.size() >= length && _tcscmpi(text.c_str() + text.size() - length, suffix) == 0;
}

int _tcscmpi(const wchar_t* a, const wchar_t* b) {
    for (;; ++a, ++b) {
        auto x = static_cast<uint16_t>(FoldCase(*a));
        auto y = static_cast<uint16_t>(FoldCase(*b));
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
}
