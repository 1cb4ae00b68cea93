// REG: dumps a key's values and sub-keys, with /s or /sub the whole tree below it, depth first.
#include <cwchar>
#include <string>
#include <vector>

#include "directives/registry/registry.h"
#include "report/log.h"
#include "report/ordered_output.h"
#include "util/handles.h"
#include "util/work_pool.h"

namespace {

const wchar_t kOptionSeparators[] = L"/ ";
const wchar_t kRecurseShort[] = L"s";
const wchar_t kRecurseLong[] = L"sub";
const wchar_t kHeaderOpen[] = L"\r\n[";
const wchar_t kHeaderClose[] = L"]";
const wchar_t kHiveUnrecognized[] = L"]\r\nHive unrecognized.\r\n";
const wchar_t kUnableToOpen[] = L"\r\n(Unable to open key";
const wchar_t kKeyNotFound[] = L" - key not found";
const wchar_t kAccessDenied[] = L" - access denied";
const wchar_t kUnableToOpenEnd[] = L")\r\n";
const wchar_t kNoValues[] = L"\r\n(No values found)";
const wchar_t kBackslash = L'\\';
const wchar_t kListedAboveOpen[] = L"(Sub-keys listed above, under [";
const wchar_t kListedAboveClose[] = L"])\r\n";

// Appends a key's sorted value lines and the line break that closes them.
void AppendValues(std::wstring& block, HKEY key, DWORD count, KeyReader& reader) {
    std::vector<TextPair> values = GetValues(key, count, reader);
    SortDStrings(values);
    if (values.empty()) block += kNoValues;
    for (const TextPair& value : values) {
        block += kLineEnd;
        block += value.first;
        block += value.second;
    }
    block += kLineEnd;
}

void AppendHeader(std::wstring& block, const std::wstring& path) {
    block += kHeaderOpen;
    block += path;
    block += kHeaderClose;
}

// The key's block: its header and, when it could be opened, its sorted values and the line break
// that closes them.
std::wstring KeyBlock(const KeyVisit& visit) {
    std::wstring block;
    AppendHeader(block, visit.path);
    if (visit.key == nullptr) {
        block += kUnableToOpen;
        block += kUnableToOpenEnd;
        return block;
    }
    AppendValues(block, visit.key, visit.counts.values, visit.reader);
    return block;
}

}  // namespace

std::vector<TextPair> GetValues(HKEY key, DWORD count, KeyReader& reader) {
    std::vector<TextPair> values;
    ForEachValue(key, count, reader, [&] {
        values.push_back({ValueLabel(reader.name.data(), reader.nameLength),
                          ValueText(reader.type, reader.data.data(), reader.dataSize)});
        return true;
    });
    return values;
}

void RegLook(wchar_t* line, FILE* report, WorkPool& pool) {
    std::wstring options;
    if (wchar_t* slash = wcschr(line, L'/')) {
        options = slash;
        *slash = L'\0';
    }
    bool recurse = false;
    for (const std::wstring& token : Split(options.c_str(), kOptionSeparators)) {
        if (_tcscmpi(token.c_str(), kRecurseShort) == 0 || _tcscmpi(token.c_str(), kRecurseLong) == 0) recurse = true;
    }

    wchar_t* keyText = Strip(line);
    if (*keyText == L'[') ++keyText;
    size_t length = wcslen(keyText);
    if (length > 0 && keyText[length - 1] == L']') keyText[length - 1] = L'\0';

    std::wstring block;
    HKEY root = GetHive(keyText);
    if (root == nullptr) {
        block = kHeaderOpen;
        block += keyText;
        block += kHiveUnrecognized;
        Log(block.c_str(), report);
        return;
    }
    const std::optional<std::wstring> subPath = GetRegPath(keyText);
    std::wstring path = GetHiveString(root);
    if (subPath) {
        path += kBackslash;
        path += *subPath;
    }

    // Named by the hive's own name, read where the run's HKCU and HKCR stand.
    root = DirectiveRoot(root);
    RegKey opened;
    if (subPath) {
        LONG status = ERROR_SUCCESS;
        opened = OpenKey(root, subPath->c_str(), &status);
        if (!opened) {
            AppendHeader(block, path);
            block += kUnableToOpen;
            if (status == ERROR_FILE_NOT_FOUND) block += kKeyNotFound;
            if (status == ERROR_ACCESS_DENIED) block += kAccessDenied;
            block += kUnableToOpenEnd;
            Log(block.c_str(), report);
            return;
        }
    }
    HKEY key = subPath ? opened.get() : root;
    if (recurse) {
        OrderedOutput output([report](const std::wstring& text) { Log(text.c_str(), report); });
        WalkKeyTree(
            key, path, true, pool, output, [](const KeyVisit& visit, const KeyWrite& write) { write(KeyBlock(visit)); },
            [](const std::wstring&, const std::wstring& firstPath, const KeyWrite& write) {
                write(kListedAboveOpen + firstPath + kListedAboveClose);
            });
    } else {
        // The key's block, then a header line for each sub-key, none of them entered.
        KeyReader reader;
        const KeyCounts counts = FitBuffers(key, reader);
        block = KeyBlock(KeyVisit{path, path.size(), key, counts, reader});
        std::vector<std::wstring> subkeys = GetSubkeyNames(key, counts.subkeys, reader);
        SortStrings(subkeys);
        for (const std::wstring& name : subkeys) {
            AppendHeader(block, path + kBackslash + VisibleName(name));
            block += kLineEnd;
        }
        Log(block.c_str(), report);
    }
    Log(kLineEnd, report);
}
