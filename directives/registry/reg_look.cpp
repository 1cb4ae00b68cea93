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
    RegKey key;
    StringList subkeys;
    String* next;
    size_t pathLength;  // its full path is path[0, pathLength)
};

// Opens `name` below `parent` and, if that works, writes its values and pushes it.
void Enter(std::vector<Frame>& stack, HKEY parent, const wchar_t* name, size_t pathLength, std::wstring& block,
           KeyReader& reader) {
    RegKey key;
    if (RegOpenKeyExW(parent, name, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        block += kUnableToOpen;
        block += kUnableToOpenEnd;
        return;
    }
    KeyCounts counts = FitBuffers(key.get(), reader);
    AppendValues(block, key.get(), counts.values, reader);
    StringList subkeys(SortStrings(GetSubkeys(key.get(), counts.subkeys, reader)));
    String* first = subkeys.get();
    stack.push_back(Frame{std::move(key), std::move(subkeys), first, pathLength});
}

}  // namespace

void EnumKey(HKEY parent, const wchar_t* fullPath, const wchar_t* name, FILE* report) {
    // Each key's block is written once its values are known, before anything below it is read.
    std::wstring path(fullPath);
    std::wstring block;
    std::vector<Frame> stack;
    KeyReader reader;
    Enter(stack, parent, name, path.size(), block, reader);
    Log(block.c_str(), report);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == nullptr) {
            stack.pop_back();
            continue;
        }
        const wchar_t* child = top.next->text;
        top.next = top.next->next;
        path.resize(top.pathLength);
        path += kBackslash;
        path += child;
        block.clear();
        AppendHeader(block, path);
        Enter(stack, top.key.get(), child, path.size(), block, reader);  // may move `top`
        Log(block.c_str(), report);
    }
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

    std::wstring block;
    HKEY root = GetHive(keyText);
    if (root == nullptr) {
        block = kHeaderOpen;
        block += keyText;
        block += kHiveUnrecognized;
        Log(block.c_str(), report);
        return;
    }
    OwnedText subPath(GetRegPath(keyText));
    std::wstring path = GetHiveString(root);
    if (subPath) {
        path += kBackslash;
        path += subPath.get();
    }
    AppendHeader(block, path);

    RegKey opened;
    HKEY key = root;
    if (subPath) {
        LONG status = RegOpenKeyExW(root, subPath.get(), 0, KEY_READ, opened.put());
        if (status != ERROR_SUCCESS) {
            block += kUnableToOpen;
            if (status == ERROR_FILE_NOT_FOUND) block += kKeyNotFound;
            if (status == ERROR_ACCESS_DENIED) block += kAccessDenied;
            block += kUnableToOpenEnd;
            Log(block.c_str(), report);
            return;
        }
        key = opened.get();
    }
    KeyReader reader;
    KeyCounts counts = FitBuffers(key, reader);
    AppendValues(block, key, counts.values, reader);
    Log(block.c_str(), report);

    StringList subkeys(SortStrings(GetSubkeys(key, counts.subkeys, reader)));
    std::wstring childPath;
    for (String* node = subkeys.get(); node != nullptr; node = node->next) {
        childPath = path;
        childPath += kBackslash;
        childPath += node->text;
        block.clear();
        AppendHeader(block, childPath);
        if (!recurse) block += kLineBreak;
        Log(block.c_str(), report);
        if (recurse) EnumKey(key, childPath.c_str(), node->text, report);
    }
    Log(kLineBreak, report);
}
