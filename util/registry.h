// The one reader of the registry: opening keys, their figures, their sub-key names, their values.
//
// Under Wine each registry call is a round trip to the wine server, and a walk's time is that of its
// calls: one RegQueryInfoKeyW per key gives the counts and sizes the buffers, each value comes with its
// type and data in one RegEnumValueW call, the counts spare the closing ERROR_NO_MORE_ITEMS call of each
// enumeration, and one KeyReader's buffers serve a whole walk. A read that answers ERROR_MORE_DATA (the
// key changed under us) grows the buffers and asks for the same index again, a bounded number of times.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "util/handles.h"
#include "util/strings.h"

// Longest names the registry allows, in characters.
constexpr DWORD kMaxValueNameLength = 16383;
constexpr DWORD kMaxKeyNameLength = 255;
// A run of this many failed indexes ends an enumeration: every index of a key deleted mid-walk fails.
constexpr unsigned kMaxFailedSteps = 64;

// Opens `path` below `parent` for reading; an empty guard when that fails, with the reason in `status`.
RegKey OpenKey(HKEY parent, const wchar_t* path, LONG* status = nullptr);

// Buffers reused for every key of a walk, and what the last read put in them.
struct KeyReader {
    std::vector<wchar_t> name;  // always one character longer than the capacity handed out
    std::vector<BYTE> data;
    size_t nameLength = 0;  // the name read last: name.data() counted by nameLength, NUL after it
    DWORD dataSize = 0;     // bytes of the value read last
    DWORD type = 0;         // its type
};

// A key's counts; MAXDWORD when the key could not be asked (then walks go to ERROR_NO_MORE_ITEMS).
struct KeyCounts {
    DWORD subkeys = MAXDWORD;
    DWORD values = MAXDWORD;
};

// Asks the key for its counts and grows the buffers to its longest name and largest data.
KeyCounts FitBuffers(HKEY key, KeyReader& reader);
// The value at `index` (name, type, data) or the sub-key name at `index` into the reader. Returns
// ERROR_SUCCESS, ERROR_NO_MORE_ITEMS past the end, or another error for an index to skip; the reader
// holds a whole entry only after ERROR_SUCCESS.
LONG ReadValueAt(HKEY key, DWORD index, KeyReader& reader);
LONG ReadSubkeyAt(HKEY key, DWORD index, KeyReader& reader);

// An enumeration of `count` entries (from FitBuffers) taken one step at a time, so that a walk with a
// stack of its own can hold one per open key.
struct KeyCursor {
    DWORD count = MAXDWORD;
    DWORD next = 0;
    unsigned failures = 0;
};
// Reads the cursor's next readable value (or sub-key name) into the reader. False once the count is
// reached, the registry says there is no more, or kMaxFailedSteps indexes in a row failed.
bool NextValue(HKEY key, KeyCursor& cursor, KeyReader& reader);
bool NextSubkey(HKEY key, KeyCursor& cursor, KeyReader& reader);

// Calls `use()` with each value (or sub-key name) in the reader, in enumeration order, until it
// answers false or the enumeration ends as NextValue's does.
template <typename Use>
void ForEachValue(HKEY key, DWORD count, KeyReader& reader, Use use) {
    KeyCursor cursor{count};
    while (NextValue(key, cursor, reader) && use()) {
    }
}
template <typename Use>
void ForEachSubkey(HKEY key, DWORD count, KeyReader& reader, Use use) {
    KeyCursor cursor{count};
    while (NextSubkey(key, cursor, reader) && use()) {
    }
}

// The names of an open key's sub-keys, as the registry spells them, in enumeration order, without
// empty names; null when it has none. A name that cannot be read (the key changed during the walk) is
// skipped, never shown stale. The caller frees the list with freeString.
String* GetSubkeys(HKEY key, DWORD count, KeyReader& reader);
String* GetSubkeys(HKEY key);

// The data and type of the value `name` (empty for the default value) of an open key. Returns
// ERROR_SUCCESS, or the error that ended the attempts; `data` holds exactly the bytes read and is
// left alone on failure.
LONG ReadValue(HKEY key, const wchar_t* name, DWORD& type, std::vector<BYTE>& data);

// Value data taken as UTF-16 text up to its first NUL or its end, whichever comes first; an odd last
// byte is dropped. Never reads past the data.
std::wstring StringDataText(const BYTE* data, size_t size);
inline std::wstring StringDataText(const std::vector<BYTE>& data) { return StringDataText(data.data(), data.size()); }
