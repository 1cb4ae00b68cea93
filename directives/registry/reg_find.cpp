// REGFIND: every key and string value of four hives whose name or data holds the term.
//
// The walk reads each value with its data in one call and each sub-key name in one call, into buffers
// sized once per key from RegQueryInfoKeyW and shared by the whole walk; a step that answers
// ERROR_MORE_DATA (the key changed under us) grows them and asks for the same index again.
#include <cwchar>
#include <string>
#include <vector>

#include "directives/registry/registry.h"
#include "report/log.h"
#include "util/handles.h"
#include "util/owned.h"

const HKEY HIVES_RF[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_CONFIG};
const size_t NUM_HIVES_RF = sizeof HIVES_RF / sizeof HIVES_RF[0];

namespace {

const wchar_t kSearchingFor[] = L"\r\nSearching for \"";
const wchar_t kSearchingForEnd[] = L"\"\r\n";
const wchar_t kNoData[] = L"No data found.\r\n";
const wchar_t kLineBreak[] = L"\r\n";
const wchar_t kOpenBracket[] = L"[";
const wchar_t kCloseBracket[] = L"]";
const wchar_t kValueOpen[] = L"]\r\n";
const wchar_t kDataOpen[] = L"=\"";
const wchar_t kQuote[] = L"\"";
const wchar_t kBackslash = L'\\';

constexpr int kMaxAttempts = 8;
constexpr unsigned kMaxFailedSteps = 64;  // a key deleted mid-walk fails every index
constexpr DWORD kMaxValueNameLength = 16383;
constexpr DWORD kMaxKeyNameLength = 255;

struct ReadBuffers {
    std::vector<wchar_t> name;  // always one character longer than the capacity handed out
    std::vector<BYTE> data;
    DWORD nameLength = 0;
    DWORD dataSize = 0;
    DWORD type = 0;
};

void Grow(std::vector<wchar_t>& buffer, size_t characters) {
    if (buffer.size() < characters) buffer.assign(characters, L'\0');
}
void Grow(std::vector<BYTE>& buffer, size_t bytes) {
    if (buffer.size() < bytes) buffer.assign(bytes, 0);
}

// How many sub-keys and values a key holds; all walks go by these counts, which saves the closing
// ERROR_NO_MORE_ITEMS call of each enumeration, a third of the calls on a key with two values.
struct KeyCounts {
    DWORD subkeys = MAXDWORD;  // unknown: enumerate until ERROR_NO_MORE_ITEMS
    DWORD values = MAXDWORD;
};

// Sizes the buffers for every value and sub-key name of `key` as it stands now.
KeyCounts FitBuffers(HKEY key, ReadBuffers& buffers) {
    KeyCounts counts;
    DWORD subkeyLength = 0;
    DWORD valueLength = 0;
    DWORD dataSize = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &counts.subkeys, &subkeyLength, nullptr, &counts.values,
                         &valueLength, &dataSize, nullptr, nullptr) != ERROR_SUCCESS) {
        return KeyCounts{};
    }
    Grow(buffers.name, (subkeyLength > valueLength ? subkeyLength : valueLength) + 2);
    Grow(buffers.data, dataSize);
    return counts;
}

// Name, type and data of the value at `index`; ERROR_NO_MORE_ITEMS past the last one.
LONG ReadValueAt(HKEY key, DWORD index, ReadBuffers& buffers) {
    // Never a null data buffer: that would turn the call into a size query.
    Grow(buffers.data, 64);
    LONG status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kMaxAttempts && status == ERROR_MORE_DATA; ++attempt) {
        DWORD nameCapacity = static_cast<DWORD>(buffers.name.size() - 1);
        DWORD dataCapacity = static_cast<DWORD>(buffers.data.size());
        DWORD nameLength = nameCapacity;
        DWORD dataSize = dataCapacity;
        DWORD type = 0;
        status =
            RegEnumValueW(key, index, buffers.name.data(), &nameLength, nullptr, &type, buffers.data.data(), &dataSize);
        if (status == ERROR_SUCCESS) {
            buffers.nameLength = wcsnlen(buffers.name.data(), nameLength < nameCapacity ? nameLength : nameCapacity);
            buffers.dataSize = dataSize < dataCapacity ? dataSize : dataCapacity;
            buffers.type = type;
            return status;
        }
        if (status != ERROR_MORE_DATA) return status;
        size_t oldName = buffers.name.size();
        size_t oldData = buffers.data.size();
        FitBuffers(key, buffers);
        if (dataSize > dataCapacity) Grow(buffers.data, dataSize);
        if (buffers.name.size() == oldName && buffers.data.size() == oldData) {
            // The key's figures lag behind what the call saw and it did not say which part was short.
            if (nameCapacity <= kMaxValueNameLength) Grow(buffers.name, nameCapacity * 2 + 2);
            Grow(buffers.data, dataCapacity * 2 + 64);
        }
    }
    return status;
}

// Name of the sub-key at `index`.
LONG ReadSubkeyAt(HKEY key, DWORD index, ReadBuffers& buffers) {
    Grow(buffers.name, kMaxKeyNameLength + 2);
    LONG status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kMaxAttempts && status == ERROR_MORE_DATA; ++attempt) {
        DWORD capacity = static_cast<DWORD>(buffers.name.size() - 1);
        DWORD length = capacity;
        status = RegEnumKeyExW(key, index, buffers.name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) {
            buffers.nameLength = wcsnlen(buffers.name.data(), length < capacity ? length : capacity);
            return status;
        }
        if (status == ERROR_MORE_DATA) Grow(buffers.name, capacity * 2 + 2);
    }
    return status;
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

DString* CollectStringValues(HKEY key, DWORD count, ReadBuffers& buffers) {
    DString* values = nullptr;
    unsigned failures = 0;
    for (DWORD index = 0; index < count; ++index) {
        LONG status = ReadValueAt(key, index, buffers);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) {
            if (++failures > kMaxFailedSteps) break;
            continue;
        }
        failures = 0;
        if (!IsStringType(buffers.type)) continue;
        buffers.name[buffers.nameLength] = L'\0';
        const BYTE* data = buffers.data.data();
        std::wstring text = buffers.type == REG_MULTI_SZ ? MultiStringText(data, buffers.dataSize)
                                                         : StringDataText(data, buffers.dataSize);
        values = addStrings(values, ValueLabel(buffers.name.data()).c_str(), text.c_str());
    }
    return values;
}

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

// One open key of the walk and the index of the next sub-key to visit.
struct Frame {
    RegKey owned;  // empty for the root handed in by the caller
    HKEY key;
    DWORD nextSubkey;
    DWORD subkeys;
    unsigned failures;
    size_t pathLength;  // its key path is path[0, pathLength)
};

struct Search {
    const wchar_t* term;
    size_t termLength;
    String* findings;
    std::wstring path;
    std::wstring entry;
    ReadBuffers buffers;
};

// Adds the findings among the key's values; returns its sub-key count.
DWORD SearchValues(Search& search, HKEY key) {
    KeyCounts counts = FitBuffers(key, search.buffers);
    DStringList values(CollectStringValues(key, counts.values, search.buffers));
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
    return counts.subkeys;
}

}  // namespace

DString* GetStringValues(HKEY key) {
    ReadBuffers buffers;
    return CollectStringValues(key, FitBuffers(key, buffers).values, buffers);
}

String* FindRegs(const wchar_t* term, HKEY key, const wchar_t* keyPath, String* findings) {
    Search search{term, wcslen(term), findings, keyPath, {}, {}};
    std::vector<Frame> stack;
    stack.push_back(Frame{RegKey(), key, 0, 0, 0, search.path.size()});
    stack.back().subkeys = SearchValues(search, key);
    while (!stack.empty()) {
        Frame& top = stack.back();
        LONG status =
            top.nextSubkey < top.subkeys ? ReadSubkeyAt(top.key, top.nextSubkey, search.buffers) : ERROR_NO_MORE_ITEMS;
        if (status == ERROR_NO_MORE_ITEMS || (status != ERROR_SUCCESS && ++top.failures > kMaxFailedSteps)) {
            stack.pop_back();
            continue;
        }
        ++top.nextSubkey;
        if (status != ERROR_SUCCESS || search.buffers.nameLength == 0) continue;
        top.failures = 0;
        const wchar_t* name = search.buffers.name.data();
        size_t nameLength = search.buffers.nameLength;
        search.buffers.name[nameLength] = L'\0';
        search.path.resize(top.pathLength);
        if (ContainsFolded(name, nameLength, search.term, search.termLength)) {
            search.entry = kOpenBracket;
            search.entry += search.path;
            search.entry += kBackslash;
            search.entry.append(name, nameLength);
            search.entry += kCloseBracket;
            search.findings = addString(search.findings, search.entry.c_str());
        }
        RegKey child;
        if (RegOpenKeyExW(top.key, name, 0, KEY_READ, child.put()) != ERROR_SUCCESS) continue;
        search.path += kBackslash;
        search.path.append(name, nameLength);
        HKEY childKey = child.get();
        stack.push_back(Frame{std::move(child), childKey, 0, 0, 0, search.path.size()});  // `top` is stale now
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
