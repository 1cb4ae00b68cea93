// REGFIND: every key and string value of four hives whose name or data holds the term.
//
// The walk goes by the counts of each key and shares one KeyReader, so that a key costs the fewest
// registry calls (see util/registry.h).
#include <cwchar>
#include <string>
#include <vector>

#include "directives/registry/registry.h"
#include "report/log.h"
#include "report/texts.h"
#include "util/handles.h"
#include "util/owned.h"

const HKEY HIVES_RF[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_CONFIG};
const size_t NUM_HIVES_RF = sizeof HIVES_RF / sizeof HIVES_RF[0];

namespace {

const wchar_t kSearchingForEnd[] = L"\"\r\n";
const wchar_t kNoData[] = L"No data found.\r\n";
const wchar_t kLineBreak[] = L"\r\n";
const wchar_t kOpenBracket[] = L"[";
const wchar_t kCloseBracket[] = L"]";
const wchar_t kValueOpen[] = L"]\r\n";
const wchar_t kDataOpen[] = L"=\"";
const wchar_t kQuote[] = L"\"";
const wchar_t kBackslash = L'\\';

// Whether `text` holds `term` (upper-cased already), comparing upper-cased characters in place.
bool ContainsFolded(const wchar_t* text, size_t textLength, const wchar_t* term, size_t termLength) {
    if (termLength > textLength) return false;
    for (size_t start = 0; start + termLength <= textLength; ++start) {
        size_t i = 0;
        while (i < termLength && FoldCase(text[start + i]) == term[i]) ++i;
        if (i == termLength) return true;
    }
    return false;
}

// One open key of the walk and where it is in its sub-keys.
struct Frame {
    RegKey owned;  // empty for the root handed in by the caller
    HKEY key;
    KeyCursor subkeys;
    size_t pathLength;  // its key path is path[0, pathLength)
};

struct Search {
    const wchar_t* term;
    size_t termLength;
    String* findings;
    std::wstring path;
    std::wstring entry;
    std::wstring shown;                  // the sub-key name at hand as the report shows it
    std::vector<std::wstring> resolved;  // the resolved name of each key on the stack
    KeyReader reader;
};

// Adds the findings among the key's values; returns the cursor of its sub-keys.
KeyCursor SearchValues(Search& search, HKEY key) {
    KeyCounts counts = FitBuffers(key, search.reader);
    DStringList values(GetStringValues(key, counts.values, search.reader));
    for (DString* node = values.get(); node != nullptr; node = node->next) {
        if (!ContainsFolded(node->first, wcslen(node->first), search.term, search.termLength) &&
            !ContainsFolded(node->second, wcslen(node->second), search.term, search.termLength)) {
            continue;
        }
        search.entry = kOpenBracket;
        search.entry += search.path;
        search.entry += kValueOpen;
        search.entry += node->first;
        search.entry += kDataOpen;
        search.entry += node->second;
        search.entry += kQuote;
        search.findings = addString(search.findings, search.entry.c_str());
    }
    return KeyCursor{counts.subkeys};
}

}  // namespace

DString* GetStringValues(HKEY key, DWORD count, KeyReader& reader) {
    DString* values = nullptr;
    ForEachValue(key, count, reader, [&] {
        if (reader.type != REG_SZ && reader.type != REG_EXPAND_SZ && reader.type != REG_MULTI_SZ) return true;
        const BYTE* data = reader.data.data();
        std::wstring text = reader.type == REG_MULTI_SZ ? MultiStringText(data, reader.dataSize)
                                                        : StringDataText(data, reader.dataSize);
        values = addStrings(values, ValueLabel(reader.name.data(), reader.nameLength).c_str(), text.c_str());
        return true;
    });
    return values;
}

String* FindRegs(const wchar_t* term, HKEY key, const wchar_t* keyPath, String* findings) {
    Search search{term, wcslen(term), findings, keyPath, {}, {}, {}, {}};
    std::vector<Frame> stack;
    stack.push_back(Frame{RegKey(), key, {}, search.path.size()});
    search.resolved.push_back(ResolvedKeyName(key, search.reader));
    stack.back().subkeys = SearchValues(search, key);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (!NextSubkey(top.key, top.subkeys, search.reader)) {
            stack.pop_back();
            search.resolved.pop_back();
            continue;
        }
        if (search.reader.nameLength == 0) continue;
        search.shown = VisibleName(search.reader.name.data(), search.reader.nameLength);
        search.path.resize(top.pathLength);
        if (ContainsFolded(search.shown.data(), search.shown.size(), search.term, search.termLength)) {
            search.entry = kOpenBracket;
            search.entry += search.path;
            search.entry += kBackslash;
            search.entry += search.shown;
            search.entry += kCloseBracket;
            search.findings = addString(search.findings, search.entry.c_str());
        }
        RegKey child = OpenSubkey(top.key, search.reader.name.data(), search.reader.nameLength);
        if (!child) continue;
        search.path += kBackslash;
        search.path += search.shown;
        HKEY childKey = child.get();
        std::wstring resolved = ResolvedKeyName(childKey, search.reader);
        if (!EntersKey(search.resolved, resolved)) {
            // Reached again through a link: its values are searched, what is below it was or will be.
            SearchValues(search, childKey);
            continue;
        }
        stack.push_back(Frame{std::move(child), childKey, {}, search.path.size()});  // `top` is stale now
        search.resolved.push_back(std::move(resolved));
        stack.back().subkeys = SearchValues(search, childKey);
    }
    return search.findings;
}

void RegFind(wchar_t* line, FILE* report) {
    Log(kSearchingFor, report);
    Log(line, report);
    Log(kSearchingForEnd, report);
    _tcstoupr(line);

    StringList findings;
    for (size_t row = 0; row < NUM_HIVES_RF; ++row) {
        findings.reset(FindRegs(line, HIVES_RF[row], GetHiveString(HIVES_RF[row]), findings.release()));
    }
    if (!findings) {
        Log(kNoData, report);
        return;
    }
    for (String* node = findings.get(); node != nullptr; node = node->next) {
        Log(node->text, report);
        Log(kLineBreak, report);
    }
}
