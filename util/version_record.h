// Reading a file's version record (the VERSIONINFO resource) for the FILE section.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The version record of the file at `path`, exactly its bytes; empty when it has none or it cannot be read.
// GetFileVersionInfoW loads the file itself, without backup semantics: where it is refused and the
// backup privilege is held, the record is read from the file's bytes through an open for backup.
std::vector<BYTE> ReadVersionRecord(const wchar_t* path);
// Reads `count` bytes at `offset` into `out`; false for a read that fails or ends early.
using OffsetReader = std::function<bool(uint64_t offset, void* out, DWORD count)>;
// The first version resource (RT_VERSION, first name, first language) of the PE image `read` gives,
// found through its resource directory; empty when the image has none or is malformed in any way.
std::vector<BYTE> VersionResourceOf(const OffsetReader& read);
// The record's first translation, or else the first common one whose string table exists.
bool ChooseTranslation(const std::vector<BYTE>& record, DWORD& translation);
// The string `name` of the record's string table for `translation`, read no further than the record's
// end whatever its stored terminator says; false when the table has no such string.
bool VersionString(const std::vector<BYTE>& record, DWORD translation, const wchar_t* name, std::wstring& text);
