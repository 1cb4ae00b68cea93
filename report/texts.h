// Report texts that more than one section writes, each written here once.
#pragma once

// Opens the header of a search section (FILEFIND, FOLDERFIND, REGFIND); the term and "\"\r\n" follow.
inline constexpr wchar_t kSearchingFor[] = L"\r\nSearching for \"";
// Stands in a FILE or PROCESS section where a digest could not be made.
inline constexpr wchar_t kNoDigestLine[] = L"Unable to calculate MD5.";
