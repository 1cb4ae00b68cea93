// The matching FindFirstFileW applies to a directory's entries, as a pure function: the pattern's
// last component translated into the file system's DOS wildcard forms, then matched against an
// entry's long name and its short (8.3) name, ignoring case.
#pragma once

#include <string>

// The file system's wildcard forms that FindFirstFileW makes of `*`, `?` and `.`.
constexpr wchar_t kDosStar = L'<';  // any characters, but never the name's last dot
constexpr wchar_t kDosQm = L'>';    // one character, or none before a dot or the end of the name
constexpr wchar_t kDosDot = L'"';   // a dot, or nothing at the end of the name

// The expression FindFirstFileW hands to the file system for `pattern` (the last component of its
// path, as the caller gave it): trailing dots and blanks dropped, "*.*" as "*", every `?` a DOS_QM,
// a `.` before `?` or `*` a DOS_DOT, a `*` before `.` (or ending a pattern that ended in a dot) a
// DOS_STAR.
std::wstring TranslateFindPattern(const std::wstring& pattern);

// Whether `name` is in `expression` as the file system decides it (FsRtlIsNameInExpression with
// case ignored; both texts are upper-cased as RtlUpcaseUnicodeChar does). An empty expression or
// name matches only when both are empty.
bool IsNameInExpression(const std::wstring& expression, const std::wstring& name);

// Whether FindFirstFileW with `pattern` as its last component returns the entry named `longName`,
// whose short name is `shortName` (empty when it has none): the expression matches either name.
bool MatchesFindPattern(const std::wstring& pattern, const std::wstring& longName, const std::wstring& shortName);

// Whether `pattern` is made of literal characters and `*` only, does not end in a dot, and holds no
// two dots in a row: the shapes on which FindFirstFileW under Wine (which matches `*` and `?` plainly
// and ignores a trailing run of dots and stars) returns what MatchesFindPattern accepts, as the
// tests prove. Other shapes match as on Windows, which Wine does not do.
bool IsPlainFindPattern(const std::wstring& pattern);
