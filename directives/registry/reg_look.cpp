// REG: dumps a key's values and sub-keys, with /s or /sub the whole tree below it, depth first.
#include <cwchar>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "directives/registry/registry.h"
#include "report/log.h"
#include "report/ordered_units.h"
#include "util/handles.h"
#include "util/ordered_worker.h"
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
    SharedKey owned;  // empty for a root key handed in
    HKEY key;
    std::vector<std::wstring> subkeys;  // sorted, whole names
    size_t next;
    size_t pathLength;     // its full path is path[0, pathLength)
    size_t resolvedCount;  // resolved[0, resolvedCount) are the names of the keys down to it
};

// A depth-first walk below one key, one unit of the section. The walk opens keys and reads their
// counts and sub-key names; a second thread reads each key's values and writes its block, in the
// walk's order. `resolved` holds the resolved names of the keys on the path.
struct Walk {
    Walk(UnitSink& out, std::wstring start) : path(std::move(start)), sink(out) {}

    std::vector<Frame> stack;
    std::vector<std::wstring> resolved;
    std::wstring path;
    KeyReader reader;                           // the walk's
    KeyReader valueReader;                      // the writer's
    UnitSink& sink;                             // written to by the writer's jobs only
    OrderedWorker writer{512, kKeysHereFirst};  // last, so that it ends before what its jobs use
};

void PostText(Walk& walk, std::wstring block) {
    walk.writer.Post([&walk, block = std::move(block)] { walk.sink.Write(block); });
}

// Writes `block` followed by the key's sorted values and the line break that closes them.
void PostValues(Walk& walk, std::wstring block, SharedKey owned, HKEY key, KeyCounts counts) {
    walk.writer.Post([&walk, block = std::move(block), owned = std::move(owned), key, counts]() mutable {
        FitReader(walk.valueReader, counts);
        AppendValues(block, key, counts.values, walk.valueReader);
        walk.sink.Write(block);
    });
}

// Writes the key's block and, when it has sub-keys, pushes it with them sorted.
void Push(Walk& walk, SharedKey owned, HKEY key, const KeyCounts& counts, std::wstring resolved, std::wstring block) {
    PostValues(walk, std::move(block), owned, key, counts);
    if (counts.subkeys == 0) return;
    std::vector<std::wstring> subkeys = GetSubkeyNames(key, counts.subkeys, walk.reader);
    SortKeyNames(subkeys);
    walk.resolved.push_back(std::move(resolved));
    walk.stack.push_back(Frame{std::move(owned), key, std::move(subkeys), 0, walk.path.size(), walk.resolved.size()});
}

// Opens `name` below `parent` and, if that works, writes `block` with its values and pushes it; a key
// already open on the path (reached again through a link) only gets its values.
void Enter(Walk& walk, HKEY parent, const std::wstring& name, std::wstring block) {
    RegKey opened = OpenSubkey(parent, name);
    if (!opened) {
        block += kUnableToOpen;
        block += kUnableToOpenEnd;
        PostText(walk, std::move(block));
        return;
    }
    auto owned = std::make_shared<RegKey>(std::move(opened));
    HKEY key = owned->get();
    KeyCounts counts = FitBuffers(key, walk.reader);
    // Entered or not, a key without sub-keys shows the same: only one with sub-keys needs the name
    // that tells whether it is on the path already.
    std::wstring resolved;
    if (counts.subkeys != 0) {
        resolved = ResolvedKeyName(key, walk.reader);
        if (!EntersKey(walk.resolved, resolved)) {
            PostValues(walk, std::move(block), std::move(owned), key, counts);
            return;
        }
    }
    Push(walk, std::move(owned), key, counts, std::move(resolved), std::move(block));
}

void Run(Walk& walk, bool recurse);

// Gives a unit of its own the later half of the sub-keys left to the lowest key on the stack that
// has any left (the last one, if one is left). The keys below it have none left, so everything the
// walk still writes comes before them.
void GiveAway(Walk& walk) {
    for (Frame& frame : walk.stack) {
        const size_t left = frame.subkeys.size() - frame.next;
        if (left == 0) continue;
        const size_t from = frame.next + left / 2;
        std::vector<std::wstring> given(std::make_move_iterator(frame.subkeys.begin() + from),
                                        std::make_move_iterator(frame.subkeys.end()));
        frame.subkeys.resize(from);
        std::vector<std::wstring> resolved(walk.resolved.begin(), walk.resolved.begin() + frame.resolvedCount);
        walk.sink.Split([owned = frame.owned, key = frame.key, given = std::move(given),
                         path = walk.path.substr(0, frame.pathLength),
                         resolved = std::move(resolved)](UnitSink& sink) mutable {
            Walk below(sink, std::move(path));
            below.resolved = std::move(resolved);
            below.stack.push_back(
                Frame{std::move(owned), key, std::move(given), 0, below.path.size(), below.resolved.size()});
            Run(below, true);
        });
        return;
    }
}

// Writes the header of every sub-key of the keys on the stack and, with `recurse`, enters each; returns
// once everything is written. A walk of the whole tree gives part of itself away whenever a thread of
// the section waits for work.
void Run(Walk& walk, bool recurse) {
    while (!walk.stack.empty()) {
        if (recurse && walk.sink.Wanted()) GiveAway(walk);
        Frame& top = walk.stack.back();
        if (top.next == top.subkeys.size()) {
            walk.resolved.resize(top.resolvedCount - 1);
            walk.stack.pop_back();
            continue;
        }
        std::wstring child = std::move(top.subkeys[top.next++]);
        walk.path.resize(top.pathLength);
        walk.path += kBackslash;
        walk.path += VisibleName(child);
        std::wstring block;
        AppendHeader(block, walk.path);
        if (recurse) {
            Enter(walk, top.key, child, std::move(block));  // may move `top`
        } else {
            block += kLineBreak;
            PostText(walk, std::move(block));
        }
    }
    walk.writer.Drain();
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
    OwnedText subPath = GetRegPath(keyText);
    std::wstring path = GetHiveString(root);
    if (subPath) {
        path += kBackslash;
        path += subPath.get();
    }
    AppendHeader(block, path);

    auto opened = std::make_shared<RegKey>();
    if (subPath) {
        LONG status = ERROR_SUCCESS;
        *opened = OpenKey(root, subPath.get(), &status);
        if (!*opened) {
            block += kUnableToOpen;
            if (status == ERROR_FILE_NOT_FOUND) block += kKeyNotFound;
            if (status == ERROR_ACCESS_DENIED) block += kAccessDenied;
            block += kUnableToOpenEnd;
            Log(block.c_str(), report);
            return;
        }
    }
    HKEY key = subPath ? opened->get() : root;
    RunUnitsInOrder([report](const std::wstring& piece) { Log(piece.c_str(), report); }, 1,
                    [&](size_t, UnitSink& sink) {
                        Walk walk(sink, path);
                        KeyCounts counts = FitBuffers(key, walk.reader);
                        // Only a walk of the whole tree needs the names that stop it at cycles.
                        std::wstring resolved = recurse ? ResolvedKeyName(key, walk.reader) : std::wstring();
                        Push(walk, std::move(opened), key, counts, std::move(resolved), std::move(block));
                        Run(walk, recurse);
                    });
    Log(kLineBreak, report);
}
