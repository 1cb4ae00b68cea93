// The registry layer shared by the registry directives and the service report, and the handlers of
// the REG and REGFIND contexts and of the ::csinfo and ::safeboot commands.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "directives/directives.h"
#include "report/ordered_output.h"
#include "util/registry.h"
#include "util/strings.h"
#include "util/work_pool.h"

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
// What follows the path's first backslash, possibly empty; nothing when the path holds no backslash.
std::optional<std::wstring> GetRegPath(const wchar_t* path);

// value_text.cpp: the report's notation for one value, pure functions of the name, type and bytes.

// "@" for the default value (the empty name only), otherwise the whole name between double quotes,
// unescaped but for its NULs, shown as \0.
std::wstring ValueLabel(const wchar_t* name, size_t length);
// What follows the label on a value's line, such as ="x" or = 0x0000000001 (1).
std::wstring ValueText(DWORD type, const BYTE* data, size_t size);
// REG_MULTI_SZ data with its strings joined by single blanks; reads nothing past `size` bytes.
std::wstring MultiStringText(const BYTE* data, size_t size);

// The value lists of the two walks, read with util/registry.h's reader (see there for the cost of a
// key). A value that vanishes or cannot be read during the walk is left out.

// The key's values (`count` from FitBuffers) as (label, value text) pairs in enumeration order.
// (reg_look.cpp)
std::vector<TextPair> GetValues(HKEY key, DWORD count, KeyReader& reader);
// The REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ values of a key as (label, data text) pairs in
// enumeration order. (reg_find.cpp)
std::vector<TextPair> GetStringValues(HKEY key, DWORD count, KeyReader& reader);

// key_walk.cpp: the walk of a whole tree that REG /s and REGFIND share.

// What a section is shown of each key of a walk, on the thread that walks it.
struct KeyVisit {
    const std::wstring& path;  // the key's path as the report shows it
    size_t nameStart;          // path[nameStart, end) is its own name as shown; the root's is empty
    HKEY key;                  // null when it could not be opened
    const KeyCounts& counts;   // from FitBuffers, when it is open
    KeyReader& reader;         // buffers fitted to the counts, the walk thread's own
};
// Writes `text` in the walk's place for the key at hand.
using KeyWrite = std::function<void(const std::wstring& text)>;
using KeyVisitor = std::function<void(const KeyVisit& visit, const KeyWrite& write)>;

// Writes, after the visit of a key reached through a link that the walk entered before at
// `firstPath`, that its sub-keys are shown there and not again.
using LinkRepeat = std::function<void(const std::wstring& path, const std::wstring& firstPath, const KeyWrite& write)>;

// Visits `root` (whose path is shown as `path`) and every key below it, depth first, the sub-keys of
// each in name order when `sorted` and in enumeration order otherwise. Keys are followed through
// links, but a key already on the path (a link back to an ancestor) is visited, never entered, and a
// link is entered once for each link the walk went through last on its way there (none included):
// where the walk meets it again, the key is visited and `repeat` says where its sub-keys are. So a
// web of links costs the walk at most the square of its links times its keys, never the number of
// its paths, while a link inside a tree that is also reached through a link (the current control
// set) shows under both. While a thread of `pool` waits for work, the walk hands it part of what it
// has left; what `visit` and `repeat` write reaches `output` in the order of a walk on one thread.
// Returns once everything is written.
void WalkKeyTree(HKEY root, const std::wstring& path, bool sorted, WorkPool& pool, OrderedOutput& output,
                 const KeyVisitor& visit, const LinkRepeat& repeat);

// What a walk does with a key it reached through a link (one with sub-keys, not on its path): shows
// where its sub-keys are when the link was entered before from the same link above; else enters it
// when its place in the output is in turn, since then every place before it is written and no walk
// can enter the link earlier in the output; else waits for that turn. The same on any thread count.
enum class LinkStep { kEnter, kListedAbove, kWait };
LinkStep ChooseLinkStep(bool enteredBefore, bool inTurn);

// Which sub-keys a walk whose stack holds these counts of sub-keys still to enter (the root first)
// may hand to another thread: {frame, how many of its last ones}, or {0, 0} for none. Only the
// shallowest frame with any left gives, since all else still to come is written before its later
// sub-keys; it gives the later half, and its last one only when a deeper frame keeps work.
struct KeysToGive {
    size_t frame = 0;
    size_t count = 0;
    bool operator==(const KeysToGive&) const = default;
};
KeysToGive ChooseKeysToGive(const std::vector<size_t>& left);

// reg_find.cpp

// Appends to `findings` every key below `key` whose name holds `term` (already upper-cased) and
// every string value at or below it whose label or data holds it.
void FindRegs(const wchar_t* term, HKEY key, const wchar_t* keyPath, std::vector<std::wstring>& findings,
              WorkPool& pool);

// csinfo.cpp

// The first character of `text` that is not "0" (its end when there is none).
const wchar_t* NoZeros(const wchar_t* text);
