// Reading a file's version record (the VERSIONINFO resource) for the FILE section.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The version record of the file at `path`, exactly its bytes; empty when it has none or it cannot be read.
std::vector<BYTE> ReadVersionRecord(const wchar_t* path);
// The record's first translation, or else the first common one whose string table exists.
bool ChooseTranslation(const std::vector<BYTE>& record, DWORD& translation);
// The string `name` of the record's string table for `translation`, read no further than the record's
// end whatever its stored terminator says; false when the table has no such string.
bool VersionString(const std::vector<BYTE>& record, DWORD translation, const wchar_t* name, std::wstring& text);
