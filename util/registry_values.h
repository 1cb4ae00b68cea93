// Readers of one named registry value as text: nothing when the key cannot be opened or holds no value
// of that name and type.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

// A REG_SZ or REG_EXPAND_SZ value (returned as stored, not expanded). The name is matched by _tcscmpi;
// the empty name selects the default value.
std::optional<std::wstring> GetRegSZValue(HKEY root, const wchar_t* subKey, const wchar_t* valueName);

// A REG_DWORD value as signed decimal text ("%d"), empty when there is none. Data shorter than 4 bytes
// is zero-extended.
std::wstring GetRegDWValue(HKEY root, const wchar_t* subKey, const wchar_t* valueName);

// The current user's desktop folder as recorded under Explorer's "Shell Folders", expanded.
std::optional<std::wstring> GetDesktopFolder();
