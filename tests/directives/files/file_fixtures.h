// Fixtures shared by the file-directive tests: files and folders with chosen times and attributes,
// and unique names.
#pragma once

#include <windows.h>

#include <string>

#include "directives/directives.h"
#include "tests/support/os_fixtures.h"

// A calendar instant (seconds zero).
SYSTEMTIME Instant(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0);
// Fixed instants (UTC) that the fixtures carry, and how the listings show them.
SYSTEMTIME FileInstant();                // 30/11/2021 08:05
SYSTEMTIME FolderInstant();              // 07/03/2019 13:45
extern const wchar_t kFileTimeText[];    // "08:05 30/11/2021"
extern const wchar_t kFolderTimeText[];  // "13:45 07/03/2019"

// "hh:mm dd/mm/yyyy" of a file time, made here independently of the code under test.
std::wstring TimeText(const FILETIME& time);

// Sets creation and last-write time of a file or folder (Wine keeps only the last-write time and
// shows it as the creation time too, so both are set to the same instant).
void SetTimes(const std::wstring& path, const SYSTEMTIME& time);
// A file with `bytes`, then `attributes` (FILE_ATTRIBUTE_NORMAL for none) and the file instant.
void MakeFile(const std::wstring& path, const std::string& bytes, DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
void MakeFolder(const std::wstring& path);
// A file of `size` bytes whose content is never written (sparse where the file system allows).
void MakeSizedFile(const std::wstring& path, unsigned long long size);

// "\t<attrs> <size> bytes\t[file instant]\t[file instant]" and "\td-----\t[folder instant]".
std::wstring FileText(const wchar_t* attributes, unsigned long long size);
std::wstring FolderText();

// The first line of a DIR section and of a search's.
inline std::wstring DirHeader(const std::wstring& path, const std::wstring& parameters) {
    return L"\r\n" + path + L" - Parameters: \"" + parameters + L"\"\r\n";
}
inline std::wstring Searching(const std::wstring& line) { return L"\r\nSearching for \"" + line + L"\"\r\n"; }

// A name no other test run uses: `stem` followed by the process id.
std::wstring UniqueName(const std::wstring& stem);
