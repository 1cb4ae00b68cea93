// REG: dumps a key's values and sub-keys, with /s or /sub the whole tree below it, depth first.
#include <cwchar>
#include <string>
#include <vector>

#include "directives/registry/registry.h"
#include "report/log.h"
#include "util/handles.h"
#include "util/owned.h"

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
const wchar_t kLineBreak[] = L"\r\n";
const wchar_t kBackslash = L'\\';

// Appends a key's sorted value lines and the line break that closes them.
void AppendValues(std::wstring& block, HKEY key, DWORD count, KeyReader& reader) {
    DStringList values(SortDStrings(GetValues(key, count, reader)));
    if (!values) block += kNoValues;
    for (DString* node = values.get(); node != nullptr; node = node->next) {
        block += kLineBreak;
        block += node->first;
        block += node->second;
    }
    block += kLineBreak;
}

void AppendHeader(std::wstring& block, const std::wstring& path) {
    block += kHeaderOpen;
    block += path;
    block += kHeaderClose;
}

// One open key of the walk with the sub-keys it has left to show.
struct Frame {
    RegKey owned;  // empty for a root key handed in
    HKEY key;
    std::vector<std::wstring> subkeys;  // sorted, whole names
    size_t next;
    size_t pathLength;  // its full path is path[0, pathLength)
};

// A depth-first walk below one key. Each key's block is written once its values are known, before
// anything below it is read. `resolved` holds the resolved name of each key on the stack.
struct Walk {
    std::vector<Frame> stack;
    std::vector<std::wstring> resolved;
    std::wstring path;
    std::wstring block;
    KeyReader reader;
    FILE* report;
};

// Appends the values of an open key to the block and pushes it with its sorted sub-keys.
void Push(Walk& walk, RegKey owned, HKEY key, std::wstring resolved) {
    KeyCounts counts = FitBuffers(key, walk.reader);
    AppendValues(walk.block, key, counts.values, walk.reader);
    std::vector<std::wstring> subkeys = GetSubkeyNames(key, counts.subkeys, walk.reader);
    SortKeyNames(subkeys);
    walk.stack.push_back(Frame{std::move(owned), key, std::move(subkeys), 0, walk.path.size()});
    walk.resolved.push_back(std::move(resolved));
}

// Opens `name` below `parent` and, if that works, writes its values and pushes it; a key already
// open on the path (reached again through a link) only gets its values.
void Enter(Walk& walk, HKEY parent, const std::wstring& name) {
    RegKey key = OpenSubkey(parent, name);
    if (!key) {
        walk.block += kUnableToOpen;
        walk.block += kUnableToOpenEnd;
        return;
    }
    std::wstring resolved = ResolvedKeyName(key.get(), walk.reader);
    if (!EntersKey(walk.resolved, resolved)) {
        AppendValues(walk.block, key.get(), FitBuffers(key.get(), walk.reader).values, walk.reader);
        return;
    }
    HKEY opened = key.get();
    Push(walk, std::move(key), opened, std::move(resolved));
}

// Writes the header of every sub-key of the keys on the stack and, with `recurse`, enters each.
void Run(Walk& walk, bool recurse) {
    Log(walk.block.c_str(), walk.report);
    while (!walk.stack.empty()) {
        Frame& top = walk.stack.back();
        if (top.next == top.subkeys.size()) {
            walk.stack.pop_back();
            walk.resolved.pop_back();
            continue;
        }
        std::wstring child = std::move(top.subkeys[top.next++]);
        walk.path.resize(top.pathLength);
        walk.path += kBackslash;
        walk.path += VisibleName(child);
        walk.block.clear();
        AppendHeader(walk.block, walk.path);
        if (recurse) {
            Enter(walk, top.key, child);  // may move `top`
        } else {
            walk.block += kLineBreak;
        }
        Log(walk.block.c_str(), walk.report);
    }
}

}  // namespace

DString* GetValues(HKEY key, DWORD count, KeyReader& reader) {
    DString* values = nullptr;
    ForEachValue(key, count, reader, [&] {
        values = addStrings(values, ValueLabel(reader.name.data(), reader.nameLength).c_str(),
                            ValueText(reader.type, reader.data.data(), reader.dataSize).c_str());
        return true;
    });
    return values;
}

void EnumKey(HKEY parent, const wchar_t* fullPath, const wchar_t* name, FILE* report) {
    Walk walk{{}, {}, fullPath, {}, {}, report};
    Enter(walk, parent, name);
    Run(walk, true);
}

void RegLook(wchar_t* line, FILE* report) {
    std::wstring options;
    if (wchar_t* slash = wcschr(line, L'/')) {
        options = slash;
        *slash = L'\0';
    }
    bool recurse = false;
    StringList tokens(Split(options.data(), kOptionSeparators));
    for (String* token = tokens.get(); token != nullptr; token = token->next) {
        if (_tcscmpi(token->text, kRecurseShort) == 0 || _tcscmpi(token->text, kRecurseLong) == 0) recurse = true;
    }

    wchar_t* keyText = Strip(line);
    if (*keyText == L'[') ++keyText;
    size_t length = wcslen(keyText);
    if (length > 0 && keyText[length - 1] == L']') keyText[length - 1] = L'\0';

    Walk walk{{}, {}, {}, {}, {}, report};
    HKEY root = GetHive(keyText);
    if (root == nullptr) {
        walk.block = kHeaderOpen;
        walk.block += keyText;
        walk.block += kHiveUnrecognized;
        Log(walk.block.c_str(), report);
        return;
    }
    OwnedText subPath = GetRegPath(keyText);
    walk.path = GetHiveString(root);
    if (subPath) {
        walk.path += kBackslash;
        walk.path += subPath.get();
    }
    AppendHeader(walk.block, walk.path);

    RegKey opened;
    if (subPath) {
        LONG status = ERROR_SUCCESS;
        opened = OpenKey(root, subPath.get(), &status);
        if (!opened) {
            walk.block += kUnableToOpen;
            if (status == ERROR_FILE_NOT_FOUND) walk.block += kKeyNotFound;
            if (status == ERROR_ACCESS_DENIED) walk.block += kAccessDenied;
            walk.block += kUnableToOpenEnd;
            Log(walk.block.c_str(), report);
            return;
        }
    }
    HKEY key = subPath ? opened.get() : root;
    // Only a walk of the whole tree needs the names that stop it at cycles.
    std::wstring resolved = recurse ? ResolvedKeyName(key, walk.reader) : std::wstring();
    Push(walk, std::move(opened), key, std::move(resolved));
    Run(walk, recurse);
    Log(kLineBreak, report);
}
