// REGFIND: every key and string value of four hives whose name or data holds the term.
//
// The walk (key_walk.cpp) goes by the counts of each key and one KeyReader per thread, so that a key
// costs the fewest registry calls (see util/registry.h).
#include <cwchar>
#include <string>

#include "directives/registry/registry.h"
#include "report/log.h"
#include "report/ordered_output.h"
#include "report/texts.h"
#include "util/work_pool.h"

const HKEY HIVES_RF[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_CONFIG};
const size_t NUM_HIVES_RF = sizeof HIVES_RF / sizeof HIVES_RF[0];

namespace {

const wchar_t kSearchingForEnd[] = L"\"\r\n";
const wchar_t kNoData[] = L"No data found.\r\n";
const wchar_t kOpenBracket[] = L"[";
const wchar_t kCloseBracket[] = L"]";
const wchar_t kValueOpen[] = L"]\r\n";
const wchar_t kDataOpen[] = L"=\"";
const wchar_t kQuote[] = L"\"";
const wchar_t kSearchedAbove[] = L"]\r\n(Sub-keys searched above, under [";
const wchar_t kSearchedAboveClose[] = L"])";

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

// What a search shows of one key: `[path]` when its own name holds the term, then `[path]name="data"`
// for each string value whose name or data holds it, each a finding of its own.
void ShowFindings(const wchar_t* term, size_t termLength, const KeyVisit& visit, const KeyWrite& write) {
    const std::wstring& path = visit.path;
    if (visit.nameStart < path.size() &&
        ContainsFolded(path.data() + visit.nameStart, path.size() - visit.nameStart, term, termLength)) {
        std::wstring finding = kOpenBracket;
        finding += path;
        finding += kCloseBracket;
        write(finding);
    }
    if (visit.key == nullptr) return;
    std::wstring finding;
    for (const TextPair& value : GetStringValues(visit.key, visit.counts.values, visit.reader)) {
        if (!ContainsFolded(value.first.data(), value.first.size(), term, termLength) &&
            !ContainsFolded(value.second.data(), value.second.size(), term, termLength)) {
            continue;
        }
        finding = kOpenBracket;
        finding += path;
        finding += kValueOpen;
        finding += value.first;
        finding += kDataOpen;
        finding += value.second;
        finding += kQuote;
        write(finding);
    }
}

}  // namespace

std::vector<TextPair> GetStringValues(HKEY key, DWORD count, KeyReader& reader) {
    std::vector<TextPair> values;
    ForEachValue(key, count, reader, [&] {
        if (reader.type != REG_SZ && reader.type != REG_EXPAND_SZ && reader.type != REG_MULTI_SZ) return true;
        const BYTE* data = reader.data.data();
        std::wstring text = reader.type == REG_MULTI_SZ ? MultiStringText(data, reader.dataSize)
                                                        : StringDataText(data, reader.dataSize);
        values.push_back({ValueLabel(reader.name.data(), reader.nameLength), std::move(text)});
        return true;
    });
    return values;
}

void FindRegs(const wchar_t* term, HKEY key, const wchar_t* keyPath, std::vector<std::wstring>& findings,
              WorkPool& pool) {
    const size_t termLength = wcslen(term);
    OrderedOutput output([&findings](const std::wstring& finding) { findings.push_back(finding); });
    // The root's own name is the hive's, which is never a finding.
    WalkKeyTree(
        key, keyPath, false, pool, output,
        [term, termLength](const KeyVisit& visit, const KeyWrite& write) {
            ShowFindings(term, termLength, visit, write);
        },
        // A finding of its own, so that a search of a web of links says what it did not search twice.
        [](const std::wstring& path, const std::wstring& firstPath, const KeyWrite& write) {
            write(kOpenBracket + path + kSearchedAbove + firstPath + kSearchedAboveClose);
        });
}

void RegFind(wchar_t* line, FILE* report, WorkPool& pool) {
    Log(kSearchingFor, report);
    Log(line, report);
    Log(kSearchingForEnd, report);
    _tcstoupr(line);

    std::vector<std::wstring> findings;
    for (size_t row = 0; row < NUM_HIVES_RF; ++row) {
        FindRegs(line, DirectiveRoot(HIVES_RF[row]), GetHiveString(HIVES_RF[row]), findings, pool);
    }
    if (findings.empty()) {
        Log(kNoData, report);
        return;
    }
    for (const std::wstring& finding : findings) {
        Log(finding.c_str(), report);
        Log(kLineEnd, report);
    }
}
