// The registry layer shared by the registry directives and the service report, and the handlers of
// the REG and REGFIND contexts and of the ::csinfo and ::safeboot commands.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "directives/directives.h"
#include "util/owned.h"
#include "util/registry.h"
#include "util/strings.h"

// A key a walk opened, held by the walk's frame and by the jobs that read it, whichever ends last.
using SharedKey = std::shared_ptr<RegKey>;
// Keys a walk reads itself before it hands the rest to a second thread: most walks are small.
constexpr size_t kKeysHereFirst = 32;

// One row of the hive table: a root key and its two names.
struct Hive {
    HKEY key;
    const wchar_t* shortName;
    const wchar_t* longName;
};
// The hive table, walked from row 0.
extern const Hive HIVES[];
extern const size_t NUM_HIVES;

// The roots REGFIND walks, in order.
extern const HKEY HIVES_RF[];
extern const size_t NUM_HIVES_RF;

// hives.cpp

// The root key named by the path's first component (short or long name, any case); null when none.
HKEY GetHive(const wchar_t* path);
// The long name of a root key (the table's own text, never freed); null for a key the table lacks.
const wchar_t* GetHiveString(HKEY key);
// A new text holding what follows the path's first backslash, possibly empty; empty owner when the
// path holds no backslash.
OwnedText GetRegPath(const wchar_t* path);

// value_text.cpp: the report's notation for one value, pure functions of the name, type and bytes.

// "@" for the default value (the empty name only), otherwise the whole name between double quotes,
// unescaped but for its NULs, shown as \0.
std::wstring ValueLabel(const wchar_t* name, size_t length);
// What follows the label on a value's line, such as ="x" or = 0x0000000001 (1).
std::wstring ValueText(DWORD type, const BYTE* data, size_t size);
// REG_MULTI_SZ data with its strings joined by single blanks; reads nothing past `size` bytes.
std::wstring MultiStringText(const BYTE* data, size_t size);
// MultiStringText as a new text for callers that keep C texts.
OwnedText GetMultiString(const BYTE* data, size_t size);
// Each byte as two lower-case hex digits and a blank.
OwnedText BinaryToString(const BYTE* data, size_t size);

// The value lists of the two walks, read with util/registry.h's reader (see there for the cost of a
// key). A value that vanishes or cannot be read during the walk is left out.

// The key's values (`count` from FitBuffers) as (label, value text) pairs in enumeration order; null
// when it has none. Freed with freeStrings. (reg_look.cpp)
DString* GetValues(HKEY key, DWORD count, KeyReader& reader);
// The REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ values of a key as (label, data text) pairs in
// enumeration order; null when there are none. Freed with freeStrings. (reg_find.cpp)
DString* GetStringValues(HKEY key, DWORD count, KeyReader& reader);

// reg_find.cpp

// Appends to `findings` every key below `key` whose name holds `term` (already upper-cased) and
// every string value at or below it whose label or data holds it; returns the list.
String* FindRegs(const wchar_t* term, HKEY key, const wchar_t* keyPath, String* findings);

// csinfo.cpp

// The first character of `text` that is not "0" (its end when there is none).
const wchar_t* NoZeros(const wchar_t* text);
