// Bounded registry reads shared by every part that looks at the registry.
//
// A size query and a fetch are one loop: when the fetch answers ERROR_MORE_DATA (the data or the name
// grew in between) the buffer grows and the same item is asked for again, a bounded number of times.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Reads the data and type of the value `name` (empty for the default value) of an open key.
// Returns ERROR_SUCCESS, or the error that ended the attempts; `data` holds exactly the bytes read.
LONG QueryValueData(HKEY key, const wchar_t* name, DWORD& type, std::vector<BYTE>& data);

// Name and type of the value at `index`. Returns ERROR_SUCCESS, ERROR_NO_MORE_ITEMS past the last
// value, or another error for an index to skip. `name` is only changed on success.
LONG EnumValueAt(HKEY key, DWORD index, std::wstring& name, DWORD& type);

// Name of the sub-key at `index`, with the same results as EnumValueAt.
LONG EnumSubkeyAt(HKEY key, DWORD index, std::wstring& name);

// The data taken as UTF-16 text up to its first NUL or its end, whichever comes first; an odd last
// byte is dropped. Never reads past the data.
std::wstring RegDataAsText(const std::vector<BYTE>& data);

// Copies `text` into a new zero-terminated heap text (released with free).
wchar_t* NewText(const std::wstring& text);
