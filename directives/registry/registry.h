// The registry layer shared by the registry directives and the service report, and the handlers of
// the REG and REGFIND contexts and of the ::csinfo and ::safeboot commands.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "directives/directives.h"
#include "util/strings.h"

// Hive tables, aligned by index and walked from row 0: short name, long name, root key.
extern const wchar_t* const HIVES_SHORT[];
extern const wchar_t* const HIVES_LONG[];
extern const HKEY HIVES[];
extern const size_t NUM_HIVES;

// The roots REGFIND walks, in order.
extern const HKEY HIVES_RF[];
extern const size_t NUM_HIVES_RF;

// hives.cpp

// The root key named by the path's first component (short or long name, any case); null when none.
HKEY GetHive(const wchar_t* path);
// The long name of a root key (the table's own text, never freed); null for a key the table lacks.
const wchar_t* GetHiveString(HKEY key);
// A new text (freed with free) holding what follows the path's first backslash, possibly empty;
// null when the path holds no backslash.
wchar_t* GetRegPath(const wchar_t* path);

// value_text.cpp: the report's notation for one value, pure functions of the name, type and bytes.

// "@" for the default value, otherwise the name between double quotes, unescaped.
std::wstring ValueLabel(const wchar_t* name);
// What follows the label on a value's line, such as ="x" or = 0x0000000001 (1).
std::wstring ValueText(DWORD type, const BYTE* data, size_t size);
// REG_SZ data as text: up to its first NUL or its end; an odd last byte is dropped.
std::wstring StringDataText(const BYTE* data, size_t size);
// REG_MULTI_SZ data with its strings joined by single blanks; reads nothing past `size` bytes.
std::wstring MultiStringText(const BYTE* data, size_t size);
// New texts (freed with free) of the two renderings above for callers that keep C texts.
wchar_t* GetMultiString(const BYTE* data, size_t size);
// Each byte as two lower-case hex digits and a blank.
wchar_t* BinaryToString(const BYTE* data, size_t size);

// key_reader.cpp: the reads of every registry walk. Each registry call is a round trip to the wine
// server, so a key costs one RegQueryInfoKeyW, one call per value (name, type and data together) and
// one per sub-key name, with buffers shared by the whole walk.

// Buffers reused for every key of a walk, and what the last read put in them.
struct KeyReader {
    std::vector<wchar_t> name;  // always one character longer than the capacity handed out
    std::vector<BYTE> data;
    size_t nameLength = 0;  // the name read last, NUL-terminated at this length
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

// The key's values as (label, value text) pairs in enumeration order; null when it has none.
// A value that vanishes or cannot be read during the walk is left out. Freed with freeStrings.
DString* GetValues(HKEY key);
// The names of an open key's sub-keys, as the registry spells them, in enumeration order, without
// empty names; null when it has none. A name that cannot be read (the key changed during the walk) is
// skipped, never shown stale. The caller frees the list with freeString.
String* GetSubkeys(HKEY key);
// The REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ values of a key as (label, data text) pairs in
// enumeration order; null when there are none. Freed with freeStrings.
DString* GetStringValues(HKEY key);
// The same three for a key whose `count` (from FitBuffers) is known, with the walk's own reader.
DString* GetValues(HKEY key, DWORD count, KeyReader& reader);
String* GetSubkeys(HKEY key, DWORD count, KeyReader& reader);
DString* GetStringValues(HKEY key, DWORD count, KeyReader& reader);

// reg_look.cpp

// Writes the block of the sub-key `name` of `parent` and, depth first, of everything below it.
// `fullPath` is the path shown in its header. Walks with a stack of its own, so any depth is fine.
void EnumKey(HKEY parent, const wchar_t* fullPath, const wchar_t* name, FILE* report);

// reg_find.cpp

// Appends to `findings` every key below `key` whose name holds `term` (already upper-cased) and
// every string value at or below it whose label or data holds it; returns the list.
String* FindRegs(const wchar_t* term, HKEY key, const wchar_t* keyPath, String* findings);

// csinfo.cpp

// The first character of `text` that is not "0" (its end when there is none).
const wchar_t* NoZeros(const wchar_t* text);
