// REGFIND: every key and string value of four hives whose name or data holds the term.
//
// The walk goes by the counts of each key and shares one KeyReader, so that a key costs the fewest
// registry calls (see util/registry.h).
#include <cwchar>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "directives/registry/registry.h"
#include "report/log.h"
#include "report/ordered_units.h"
#include "report/texts.h"
#include "util/handles.h"
#include "util/ordered_worker.h"
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
    SharedKey owned;  // empty for the root handed in by the caller
    HKEY key;
    KeyCursor subkeys;
    size_t pathLength;     // its key path is path[0, pathLength)
    size_t resolvedCount;  // resolved[0, resolvedCount) are the names of the keys down to it
};

// One unit of a search: the walk opens keys and reads their counts and sub-key names; a second thread
// searches each key's values and writes the findings, in the walk's order.
struct Search {
    Search(const wchar_t* searched, UnitSink& out, std::wstring start)
        : term(searched), termLength(wcslen(searched)), sink(out), path(std::move(start)) {}

    const wchar_t* term;
    size_t termLength;
    UnitSink& sink;  // each finding a piece, written by the searcher's thread only
    std::wstring path;
    std::wstring shown;                           // the sub-key name at hand as the report shows it
    std::vector<std::wstring> resolved;           // the resolved name of each key on the stack
    KeyReader reader;                             // the walk's
    KeyReader valueReader;                        // the searcher's
    OrderedWorker searcher{512, kKeysHereFirst};  // last, so that it ends before what its jobs use
};

bool Holds(const Search& search, const wchar_t* text) {
    return ContainsFolded(text, wcslen(text), search.term, search.termLength);
}

// Adds `keyFinding` (unless empty) and then the findings among the values of `key` (unless null),
// whose path is `path`.
void PostKey(Search& search, std::wstring keyFinding, SharedKey owned, HKEY key, KeyCounts counts, std::wstring path) {
    search.searcher.Post(
        [&search, keyFinding = std::move(keyFinding), owned = std::move(owned), key, counts, path = std::move(path)] {
            if (!keyFinding.empty()) search.sink.Write(keyFinding);
            if (key == nullptr) return;
            FitReader(search.valueReader, counts);
            DStringList values(GetStringValues(key, counts.values, search.valueReader));
            std::wstring entry;
            for (DString* node = values.get(); node != nullptr; node = node->next) {
                if (!Holds(search, node->first) && !Holds(search, node->second)) continue;
                entry = kOpenBracket;
                entry += path;
                entry += kValueOpen;
                entry += node->first;
                entry += kDataOpen;
                entry += node->second;
                entry += kQuote;
                search.sink.Write(entry);
            }
        });
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

namespace {

// Looks at the sub-key `name` (counted) of `parent`, whose path is path[0, pathLength): its own name,
// then its values, and pushes it when it is to be entered.
void Visit(Search& search, std::vector<Frame>& stack, HKEY parent, size_t pathLength, const wchar_t* name,
           size_t length) {
    search.shown = VisibleName(name, length);
    search.path.resize(pathLength);
    std::wstring keyFinding;
    if (ContainsFolded(search.shown.data(), search.shown.size(), search.term, search.termLength)) {
        keyFinding = kOpenBracket;
        keyFinding += search.path;
        keyFinding += kBackslash;
        keyFinding += search.shown;
        keyFinding += kCloseBracket;
    }
    RegKey opened = OpenSubkey(parent, name, length);
    if (!opened) {
        if (!keyFinding.empty()) PostKey(search, std::move(keyFinding), SharedKey(), nullptr, KeyCounts{}, {});
        return;
    }
    search.path += kBackslash;
    search.path += search.shown;
    auto child = std::make_shared<RegKey>(std::move(opened));
    HKEY childKey = child->get();
    KeyCounts counts = FitBuffers(childKey, search.reader);
    PostKey(search, std::move(keyFinding), child, childKey, counts, search.path);
    // A key without sub-keys needs no entering, so only one with sub-keys needs the name that tells
    // whether it is on the path already; one reached again through a link has its values searched,
    // and what is below it was or will be.
    if (counts.subkeys == 0) return;
    std::wstring resolved = ResolvedKeyName(childKey, search.reader);
    if (!EntersKey(search.resolved, resolved)) return;
    search.resolved.push_back(std::move(resolved));
    stack.push_back(
        Frame{std::move(child), childKey, KeyCursor{counts.subkeys}, search.path.size(), search.resolved.size()});
}

void SearchBelow(Search& search, std::vector<Frame>& stack);

// Gives a unit of its own the later half of the sub-keys left to the lowest key on the stack that
// has any left (the last one, if one is left). The keys below it have none left, so everything the
// search still finds comes before what is found there. A key whose count is unknown is not split, and
// then nothing above it either.
void GiveAway(Search& search, std::vector<Frame>& stack) {
    for (Frame& frame : stack) {
        if (frame.subkeys.count == MAXDWORD) return;
        const DWORD left = frame.subkeys.count - frame.subkeys.next;
        if (left == 0) continue;
        KeyCursor given{frame.subkeys.count, frame.subkeys.next + left / 2};
        frame.subkeys.count = given.next;
        std::vector<std::wstring> resolved(search.resolved.begin(), search.resolved.begin() + frame.resolvedCount);
        search.sink.Split([term = search.term, owned = frame.owned, key = frame.key, given,
                           path = search.path.substr(0, frame.pathLength),
                           resolved = std::move(resolved)](UnitSink& sink) mutable {
            Search below(term, sink, std::move(path));
            below.resolved = std::move(resolved);
            std::vector<Frame> belowStack;
            belowStack.push_back(Frame{std::move(owned), key, given, below.path.size(), below.resolved.size()});
            SearchBelow(below, belowStack);
        });
        return;
    }
}

// Visits everything below the keys on the stack, depth first; returns once every finding is added.
void SearchBelow(Search& search, std::vector<Frame>& stack) {
    while (!stack.empty()) {
        if (search.sink.Wanted()) GiveAway(search, stack);
        Frame& top = stack.back();
        if (!NextSubkey(top.key, top.subkeys, search.reader)) {
            search.resolved.resize(top.resolvedCount - 1);
            stack.pop_back();
            continue;
        }
        if (search.reader.nameLength == 0) continue;
        Visit(search, stack, top.key, top.pathLength, search.reader.name.data(),
              search.reader.nameLength);  // may move `top`
    }
    search.searcher.Drain();
}

}  // namespace

String* FindRegs(const wchar_t* term, HKEY key, const wchar_t* keyPath, String* findings) {
    RunUnitsInOrder([&findings](const std::wstring& piece) { findings = addString(findings, piece.c_str()); }, 1,
                    [&](size_t, UnitSink& sink) {
                        Search search(term, sink, keyPath);
                        KeyCounts counts = FitBuffers(key, search.reader);
                        search.resolved.push_back(ResolvedKeyName(key, search.reader));
                        PostKey(search, {}, SharedKey(), key, counts, search.path);
                        std::vector<Frame> stack;
                        stack.push_back(Frame{SharedKey(), key, KeyCursor{counts.subkeys}, search.path.size(), 1});
                        SearchBelow(search, stack);
                    });
    return findings;
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
