// String lists and the small text operations every part of the scan shares.
//
// Lists own their nodes and strings. Callers write `list = addString(list, text)`: the first node keeps
// a pointer to the last one, so appending is O(1) however long a whole-drive result grows. The sorts
// are stable merge sorts that relink nodes; take the returned pointer as the list from then on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct String {
    wchar_t* text;
    String* next;
    String* last;  // valid in the first node only
};

struct DString {
    wchar_t* first;
    wchar_t* second;
    DString* next;
    DString* last;  // valid in the first node only
};

// Appends a node holding a copy of `text`; returns the list's first node. The caller keeps `text`.
String* addString(String* list, const wchar_t* text);
// Frees every node and its text; a null list does nothing. Iterative, so any length is fine.
void freeString(String* list);
// Sorts ascending by _tcscmpi, keeping equal texts in their order; returns the new first node.
String* SortStrings(String* list);

DString* addStrings(DString* list, const wchar_t* first, const wchar_t* second);
void freeStrings(DString* list);
// Sorts by the first text only; the second travels with its node.
DString* SortDStrings(DString* list);

// 1 when `path` names an existing folder, else 0.
int DoesFolderExist(const wchar_t* path);

// Cuts trailing blanks (U+0020 only) in place and returns a pointer past the leading ones.
wchar_t* Strip(wchar_t* text);

// Splits `text` in place at any run of the characters in `separators`; returns a new list of copies
// of the tokens, or null when there is none.
String* Split(wchar_t* text, const wchar_t* separators);

// Upper-cases in place the way the C locale's towupper does: a to z only.
void _tcstoupr(wchar_t* text);

// Compares ignoring case (a to z folded to A to Z), code unit by code unit as unsigned values.
// Only the sign of the result counts. Allocates nothing and changes neither argument.
int _tcscmpi(const wchar_t* a, const wchar_t* b);

// Whether `text` ends with `suffix`, ignoring case as _tcscmpi does.
bool EndsWithIgnoringCase(const std::wstring& text, const wchar_t* suffix);

// Upper-case form of one code unit under the same folding.
inline wchar_t FoldCase(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - (L'a' - L'A')) : c; }
