// The text model every part of the scan shares: names, paths and values are std::wstring, lists of
// them std::vector, sorted by the one case-folding order below.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A value's label and its text, or a found path and its line: sorted by the first, the second with it.
struct TextPair {
    std::wstring first;
    std::wstring second;
};

// Compares ignoring case (a to z folded to A to Z), code unit by code unit as unsigned values, up to the
// first NUL. Only the sign of the result counts. Allocates nothing and changes neither argument.
int _tcscmpi(const wchar_t* a, const wchar_t* b);

inline bool FoldedLess(const std::wstring& a, const std::wstring& b) { return _tcscmpi(a.c_str(), b.c_str()) < 0; }

// The one sort of names: ascending by _tcscmpi of each item's key, items that compare equal (the same
// word in another case) kept in the order they came.
template <typename Item, typename Key>
void SortFolded(std::vector<Item>& items, Key key) {
    std::stable_sort(items.begin(), items.end(),
                     [&key](const Item& a, const Item& b) { return FoldedLess(key(a), key(b)); });
}

inline void SortStrings(std::vector<std::wstring>& texts) {
    SortFolded(texts, [](const std::wstring& text) -> const std::wstring& { return text; });
}
inline void SortDStrings(std::vector<TextPair>& pairs) {
    SortFolded(pairs, [](const TextPair& pair) -> const std::wstring& { return pair.first; });
}

// Cuts trailing blanks (U+0020 only) in place and returns a pointer past the leading ones.
wchar_t* Strip(wchar_t* text);

// The tokens of `text` between runs of the characters in `separators`; none is empty.
std::vector<std::wstring> Split(const wchar_t* text, const wchar_t* separators);

// Upper-cases in place the way the C locale's towupper does: a to z only.
void _tcstoupr(wchar_t* text);

// Whether `text` ends with `suffix`, ignoring case as _tcscmpi does.
bool EndsWithIgnoringCase(const std::wstring& text, const wchar_t* suffix);

// Upper-case form of one code unit under the same folding.
inline wchar_t FoldCase(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - (L'a' - L'A')) : c; }
