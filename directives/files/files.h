// The file-system directives (FILE, DIR, FILEFIND, FOLDERFIND, ASSOC) and the entry helpers that the
// listings and the searches share.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "directives/directives.h"
#include "util/strings.h"

// ---- entries.cpp: attribute field, times, entry texts, one folder's entries ----

// The attribute field: one letter of ATTRIBS per flag of ATTRIBS_DW that is set, "-" for each not set.
extern const wchar_t ATTRIBS[];
extern const DWORD ATTRIBS_DW[];
constexpr size_t NUM_ATTRIBS = 6;
std::wstring AttributeField(DWORD attributes);

// Calendar fields of a file time in UTC; all zero when the time cannot be converted.
SYSTEMTIME FileTimeFields(const FILETIME& time);
// Appends `value` in decimal with at least `minDigits` digits (zeros in front).
void AppendNumber(std::wstring& text, uint64_t value, unsigned minDigits = 1);
// "hh:mm dd/mm/yyyy" (with `between` in place of the blank): the form every shown time takes.
void AppendTime(std::wstring& text, const SYSTEMTIME& time, const wchar_t* between = L" ");

// "\t<attributes> <size> bytes\t[<created>]\t[<written>]": a listed file. The size is the full one.
std::wstring FileEntryText(DWORD attributes, uint64_t size, const SYSTEMTIME& created, const SYSTEMTIME& written);
// "\t<attributes>\t[<created>]": a listed folder.
std::wstring FolderEntryText(DWORD attributes, const SYSTEMTIME& created);

// The date `days` days before `today` on the real calendar (only year, month and day are set); a
// negative count means today. Dates before the year 1 stop at 1 January of the year 1.
SYSTEMTIME ReferenceDate(const SYSTEMTIME& today, long days);
// True when `date` falls on or after `reference`, comparing year, month and day only.
bool IsOnOrAfter(const SYSTEMTIME& date, const SYSTEMTIME& reference);

// `folder` + "\\" + `name`, the backslash always inserted.
std::wstring JoinPath(const std::wstring& folder, const wchar_t* name);
// The same, but no second backslash after a folder that already ends with one.
std::wstring ChildPath(const std::wstring& folder, const wchar_t* name);

// The files of one folder that match `pattern` (null: every file) and, with a reference date, were
// created or written on or after it: (name, file entry text) in enumeration order. Null when none; the
// caller frees the list with freeStrings.
DString* GetFiles(const wchar_t* folder, const wchar_t* pattern, const SYSTEMTIME* reference);
// The sub-folders of one folder that match `pattern` (null: all but "." and ".."), reparse points
// included: (name, folder entry text) in enumeration order, or null. Freed with freeStrings.
DString* GetFolders(const wchar_t* folder, const wchar_t* pattern);
// GetFiles and GetFolders of one folder with no pattern, from a single enumeration (each opening of
// a folder counts where trees are deep).
void GetFilesAndFolders(const wchar_t* folder, const SYSTEMTIME* reference, DString** files, DString** folders);
// Pushes the full paths of the sub-folders of `folder` that a walk may enter onto a walk's stack, so
// that they come off it in enumeration order. Links and junctions are left out: no walk can run into
// a cycle, and the stack, not the call depth, grows with the tree.
void PushFoldersToEnter(std::vector<std::wstring>& stack, const std::wstring& folder);
// True when `path` is a folder a walk may enter (a folder that is no reparse point).
bool IsFolderToEnter(const std::wstring& path);

// Appends " " and the digest of the file at `path`, or " (Unable to calculate MD5)": a listed file's tail.
void AppendDigest(std::wstring& line, const std::wstring& path);

// ---- search.cpp: what the file and folder searches share ----

// The whole-drive searches start at the system drive, without a trailing backslash.
std::wstring SearchStartFolder();
enum class SearchKind { kFiles, kFolders };
// Appends (full path, entry text) for every file or folder below `folder` whose name matches
// `pattern`, depth first: a folder's own matches, then its sub-folders' in enumeration order.
DString* SearchTree(SearchKind kind, const wchar_t* pattern, const wchar_t* folder, DString* results);
// The whole section: header, then the sorted matches (files with their digests) or the "none" line.
void LogSearch(SearchKind kind, const wchar_t* line, FILE* report);

// ---- dir_look.cpp ----
// Writes the whole tree below `folder`: its files (matching `pattern`, null for all, and the reference
// date if any), then each sub-folder's line and tree, both sorted. Walks with its own stack.
void EnumerateDirectory(const wchar_t* folder, const wchar_t* pattern, const SYSTEMTIME* reference, FILE* report,
                        bool md5);

// ---- file_find.cpp ----
// Appends to `results` (full path, file entry text) for every file below `folder` whose name matches
// `pattern`, a folder's own matches before those of its sub-folders. Returns the list's first node.
DString* FindFiles(const wchar_t* pattern, const wchar_t* folder, DString* results);

// ---- folder_find.cpp ----
// Appends to `results` (full path, folder entry text) for every folder below `folder` whose name
// matches `pattern`; a match is also searched below unless it is a link.
DString* FindFolders(const wchar_t* pattern, const wchar_t* folder, DString* results);

// ---- file_assoc.cpp ----
// The file type name held by the extension key's default value; false with the failure message.
bool GetFileString(const wchar_t* extension, std::wstring& result);
// The command line of the type's open verb, or its failure message.
std::wstring GetAssoc(const wchar_t* fileType);
