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
#include <memory>
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

// The keys HKEY_CURRENT_USER and HKEY_CLASSES_ROOT stand for in the directives of a run that describes
// the signed-in user while the program runs as another account (an elevation with an administrator's
// password): that user's HKEY_USERS\<SID> and merged classes. Null: the predefined key itself. Set and
// cleared outside the scan's threads, which only read them.
void SetDirectiveRoots(HKEY currentUser, HKEY classesRoot);
// `root` as a directive reads it: HKCU and HKCR through the run's roots when set, any other unchanged.
HKEY DirectiveRoot(HKEY root);

// Buffers reused for every key of a walk, and what the last read put in them.
struct KeyReader {
    std::vector<wchar_t> name;  // always one character longer than the capacity handed out
    std::vector<BYTE> data;
    std::vector<BYTE> resolved;  // for ResolvedKeyName
    size_t nameLength = 0;  // the name read last: name.data() counted by nameLength (NULs may be inside), NUL after it
    DWORD dataSize = 0;     // bytes of the value read last
    DWORD type = 0;         // its type
};

// A key's counts; MAXDWORD when the key could not be asked (then walks go to ERROR_NO_MORE_ITEMS).
struct KeyCounts {
    DWORD subkeys = MAXDWORD;
    DWORD values = MAXDWORD;
    DWORD longestName = 0;  // characters, of a sub-key or a value
    DWORD largestData = 0;  // bytes
};

// Asks the key for its counts and grows the buffers to its longest name and largest data.
KeyCounts FitBuffers(HKEY key, KeyReader& reader);
// Grows the buffers to the sizes of counts already asked for (a second reader of the same key).
void FitReader(KeyReader& reader, const KeyCounts& counts);
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

// The names of an open key's sub-keys, whole (NULs kept), in enumeration order, without empty names.
// A name that cannot be read (the key changed during the walk) is skipped, never shown stale.
std::vector<std::wstring> GetSubkeyNames(HKEY key, DWORD count, KeyReader& reader);
std::vector<std::wstring> GetSubkeyNames(HKEY key);

// Opens the sub-key `name` of `parent` (counted: it may hold NULs, which Win32 cannot open) for
// reading; an empty guard when that fails.
RegKey OpenSubkey(HKEY parent, const wchar_t* name, size_t length);
inline RegKey OpenSubkey(HKEY parent, const std::wstring& name) { return OpenSubkey(parent, name.data(), name.size()); }

// A key or value name as the report shows it: whole, each NUL written as a backslash and a zero.
std::wstring VisibleName(const wchar_t* name, size_t length);
inline std::wstring VisibleName(const std::wstring& name) { return VisibleName(name.data(), name.size()); }
// Whether the name the reader holds is `name`, ignoring case; a name with a NUL inside is never a
// Win32 name.
bool ReaderNameIs(const KeyReader& reader, const wchar_t* name);

// Walks that follow links stop at cycles by the keys' resolved names (links followed), kept for the
// keys open on the current path only.

// The native name of an open key (such as \REGISTRY\MACHINE\SYSTEM\ControlSet001 for a key opened
// through CurrentControlSet); empty when it cannot be asked.
std::wstring ResolvedKeyName(HKEY key, KeyReader& reader);
// Whether a walk whose open keys resolve to `path` (the root first) goes into a key resolved as
// `name`: not when it is on the path already (a link to itself or an ancestor), nor when the name is
// unknown (no cycle could then be seen).
// The names are shared, so that a walk handed part of another's tree takes the path in one copy of
// pointers.
using ResolvedName = std::shared_ptr<const std::wstring>;
bool EntersKey(const std::vector<ResolvedName>& path, const std::wstring& name);
// Whether a key was reached through a link, from the resolved names of the key and of the parent it
// was opened below, and the name it was opened by: the link's own native name (the parent's, a
// backslash and the name) when the key is elsewhere; empty when it is where its parent says, or when
// either resolved name is unknown.
std::wstring LinkedName(const std::wstring& parentResolved, const std::wstring& name, const std::wstring& resolved);

// The data and type of the value `name` (empty for the default value) of an open key. Returns
// ERROR_SUCCESS, or the error that ended the attempts; `data` holds exactly the bytes read and is
// left alone on failure.
LONG ReadValue(HKEY key, const wchar_t* name, DWORD& type, std::vector<BYTE>& data);

// Value data as the UTF-16 code units it holds, NULs kept. The data is read as if into a zero-filled
// buffer two bytes larger, so an odd last byte is a code unit with a zero high byte (61 00 62 reads
// "ab"). Never reads past the data.
std::wstring StringDataUnits(const BYTE* data, size_t size);
// The same up to the first NUL: string data as text.
std::wstring StringDataText(const BYTE* data, size_t size);
inline std::wstring StringDataText(const std::vector<BYTE>& data) { return StringDataText(data.data(), data.size()); }
// The same whole, NULs inside kept, without the NULs that end it: for texts shown whole (VisibleName).
std::wstring StringDataWhole(const BYTE* data, size_t size);
inline std::wstring StringDataWhole(const std::vector<BYTE>& data) { return StringDataWhole(data.data(), data.size()); }
