#include "util/registry.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "util/native_registry.h"
#include "util/native_view.h"
#include "util/sized_fetch.h"

namespace {

constexpr size_t kSmallestData = 64;
// Room for a resolved name at first: most paths are far shorter.
constexpr size_t kResolvedStart = 1024;
const wchar_t kVisibleNul[] = L"\\0";

void Grow(std::vector<wchar_t>& buffer, size_t characters) {
    if (buffer.size() < characters) buffer.assign(characters, L'\0');
}
void Grow(std::vector<BYTE>& buffer, size_t bytes) {
    if (buffer.size() < bytes) buffer.assign(bytes, 0);
}

// Takes the name the last call wrote by the length it gave: the native API allows NULs inside.
void KeepName(KeyReader& reader, DWORD length, DWORD capacity) {
    reader.nameLength = length < capacity ? length : capacity;
    reader.name[reader.nameLength] = L'\0';
}

// Folding keeps the length, so names of other lengths differ at once: the names on a walk's path are
// prefixes of one another, and comparing them through would cost the square of the depth per key.
bool FoldedEqual(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return true;
}

// The name of `key` by the native query into the reader's buffer; false when the key cannot say.
bool QueryResolved(HKEY key, KeyReader& reader, std::wstring& name) {
    if (Native().queryKey == nullptr) return false;
    Grow(reader.resolved, kResolvedStart);
    ULONG needed = 0;
    LONG status = FetchGrowing([&] {
        LONG answer = Native().queryKey(key, kKeyNameInformation, reader.resolved.data(),
                                        static_cast<ULONG>(reader.resolved.size()), &needed);
        if (answer != kStatusBufferOverflow && answer != kStatusBufferTooSmall) return answer;
        // Twice the room at least: each key further down a chain has a longer name.
        Grow(reader.resolved, needed > 2 * reader.resolved.size() ? needed : 2 * reader.resolved.size());
        return static_cast<LONG>(ERROR_MORE_DATA);
    });
    if (status != 0) return false;
    ULONG bytes = 0;
    memcpy(&bytes, reader.resolved.data(), sizeof bytes);
    size_t room = (reader.resolved.size() - sizeof bytes) / sizeof(wchar_t);
    size_t length = bytes / sizeof(wchar_t) < room ? bytes / sizeof(wchar_t) : room;
    name.resize(length);
    if (length != 0) memcpy(name.data(), reader.resolved.data() + sizeof bytes, length * sizeof(wchar_t));
    return true;
}

// Runs `read(index)` from the cursor's next index on until one succeeds.
template <typename Read>
bool Advance(KeyCursor& cursor, Read read) {
    while (cursor.next < cursor.count) {
        LONG status = read(cursor.next++);
        if (status == ERROR_SUCCESS) {
            cursor.failures = 0;
            return true;
        }
        if (status == ERROR_NO_MORE_ITEMS || ++cursor.failures > kMaxFailedSteps) break;
    }
    cursor.count = cursor.next;  // ended: every later step ends at once
    return false;
}

}  // namespace

RegKey OpenSubkey(HKEY parent, const wchar_t* name, size_t length) {
    if (wmemchr(name, L'\0', length) == nullptr) return OpenKey(parent, std::wstring(name, length).c_str());
    RegKey key;
    NoteOpen();
    NativeName counted{};
    if (Native().openKey == nullptr || !MakeNativeName(counted, name, length)) return key;
    // A root key such as HKEY_CURRENT_USER is no handle to the native API: open a real one for it.
    RegKey real;
    HANDLE root = parent;
    for (int attempt = 0; attempt < 2; ++attempt) {
        NativeAttributes attributes = MakeNativeAttributes(root, &counted);
        HANDLE opened = nullptr;
        if (Native().openKey(&opened, KEY_READ | ProcessNativeViews().registryView, &attributes) == 0) {
            key.reset(static_cast<HKEY>(opened));
            break;
        }
        if (attempt == 0) {
            real = OpenKey(parent, L"");
            if (!real || real.get() == parent) break;
            root = real.get();
        }
    }
    return key;
}

namespace {

HKEY directiveCurrentUser = nullptr;
HKEY directiveClassesRoot = nullptr;

}  // namespace

void SetDirectiveRoots(HKEY currentUser, HKEY classesRoot) {
    directiveCurrentUser = currentUser;
    directiveClassesRoot = classesRoot;
}

HKEY DirectiveRoot(HKEY root) {
    if (root == HKEY_CURRENT_USER && directiveCurrentUser != nullptr) return directiveCurrentUser;
    if (root == HKEY_CLASSES_ROOT && directiveClassesRoot != nullptr) return directiveClassesRoot;
    return root;
}

RegKey OpenKey(HKEY parent, const wchar_t* path, LONG* status) {
    RegKey key;
    NoteOpen();
    // The view flag goes on every open: a handle opened in the 64-bit view does not pass it on.
    LONG opened = RegOpenKeyExW(parent, path, 0, KEY_READ | ProcessNativeViews().registryView, key.put());
    if (status != nullptr) *status = opened;
    return key;
}

KeyCounts FitBuffers(HKEY key, KeyReader& reader) {
    KeyCounts counts;
    DWORD subkeyLength = 0;
    DWORD valueLength = 0;
    DWORD dataSize = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &counts.subkeys, &subkeyLength, nullptr, &counts.values,
                         &valueLength, &dataSize, nullptr, nullptr) != ERROR_SUCCESS) {
        return KeyCounts{};
    }
    counts.longestName = subkeyLength > valueLength ? subkeyLength : valueLength;
    counts.largestData = dataSize;
    FitReader(reader, counts);
    return counts;
}

void FitReader(KeyReader& reader, const KeyCounts& counts) {
    Grow(reader.name, static_cast<size_t>(counts.longestName) + 2);
    Grow(reader.data, counts.largestData);
}

LONG ReadValueAt(HKEY key, DWORD index, KeyReader& reader) {
    // Never a null data buffer: that would turn the call into a size query.
    Grow(reader.data, kSmallestData);
    Grow(reader.name, 2);
    return FetchGrowing([&] {
        DWORD nameCapacity = static_cast<DWORD>(reader.name.size() - 1);
        DWORD dataCapacity = static_cast<DWORD>(reader.data.size());
        DWORD nameLength = nameCapacity;
        DWORD dataSize = dataCapacity;
        DWORD type = 0;
        LONG status =
            RegEnumValueW(key, index, reader.name.data(), &nameLength, nullptr, &type, reader.data.data(), &dataSize);
        if (status == ERROR_SUCCESS) {
            KeepName(reader, nameLength, nameCapacity);
            reader.dataSize = dataSize < dataCapacity ? dataSize : dataCapacity;
            reader.type = type;
        } else if (status == ERROR_MORE_DATA) {
            // The key grew: its own figures say how far. Data that did not fit says so; otherwise the
            // name was short, and the figures may lag behind it.
            FitBuffers(key, reader);
            if (dataSize > dataCapacity) {
                Grow(reader.data, dataSize);
            } else if (reader.name.size() - 1 <= nameCapacity && nameCapacity <= kMaxValueNameLength) {
                Grow(reader.name, nameCapacity * 2 + 2);
            }
        }
        return status;
    });
}

LONG ReadSubkeyAt(HKEY key, DWORD index, KeyReader& reader) {
    Grow(reader.name, kMaxKeyNameLength + 2);
    return FetchGrowing([&] {
        DWORD capacity = static_cast<DWORD>(reader.name.size() - 1);
        DWORD length = capacity;
        LONG status = RegEnumKeyExW(key, index, reader.name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) KeepName(reader, length, capacity);
        if (status == ERROR_MORE_DATA) Grow(reader.name, capacity * 2 + 2);
        return status;
    });
}

bool NextValue(HKEY key, KeyCursor& cursor, KeyReader& reader) {
    return Advance(cursor, [&](DWORD index) { return ReadValueAt(key, index, reader); });
}

bool NextSubkey(HKEY key, KeyCursor& cursor, KeyReader& reader) {
    return Advance(cursor, [&](DWORD index) { return ReadSubkeyAt(key, index, reader); });
}

std::vector<std::wstring> GetSubkeyNames(HKEY key, DWORD count, KeyReader& reader) {
    std::vector<std::wstring> names;
    ForEachSubkey(key, count, reader, [&] {
        if (reader.nameLength != 0) names.emplace_back(reader.name.data(), reader.nameLength);
        return true;
    });
    return names;
}

std::vector<std::wstring> GetSubkeyNames(HKEY key) {
    KeyReader reader;
    return GetSubkeyNames(key, FitBuffers(key, reader).subkeys, reader);
}

LONG ReadValue(HKEY key, const wchar_t* name, DWORD& type, std::vector<BYTE>& data) {
    LONG status = ERROR_SUCCESS;
    DWORD valueType = 0;
    DWORD fetched = 0;
    std::vector<BYTE> buffer;
    bool read = FetchSized(buffer, [&](BYTE* bytes, DWORD size, DWORD* needed) {
        *needed = size;
        status = RegQueryValueExW(key, name, nullptr, &valueType, bytes, needed);
        // Without a buffer the call only sizes the data: data there is still has to be fetched.
        if (status == ERROR_SUCCESS && bytes == nullptr && *needed != 0) status = ERROR_MORE_DATA;
        if (status != ERROR_SUCCESS) {
            SetLastError(static_cast<DWORD>(status));
            return false;
        }
        fetched = *needed;
        return true;
    });
    if (!read) return status == ERROR_SUCCESS ? ERROR_MORE_DATA : status;
    buffer.resize(fetched < buffer.size() ? fetched : buffer.size());
    data.swap(buffer);
    type = valueType;
    return ERROR_SUCCESS;
}

std::wstring VisibleName(const wchar_t* name, size_t length) {
    std::wstring shown;
    shown.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        if (name[i] == L'\0') {
            shown += kVisibleNul;
        } else {
            shown += name[i];
        }
    }
    return shown;
}

bool ReaderNameIs(const KeyReader& reader, const wchar_t* name) {
    return reader.nameLength == wcslen(name) && _tcscmpi(reader.name.data(), name) == 0;
}

std::wstring ResolvedKeyName(HKEY key, KeyReader& reader) {
    std::wstring name;
    if (QueryResolved(key, reader, name)) return name;
    // A root key such as HKEY_CURRENT_USER is no handle to the native API: ask a real one.
    RegKey real = OpenKey(key, L"");
    if (real && real.get() != key && QueryResolved(real.get(), reader, name)) return name;
    return {};
}

bool EntersKey(const std::vector<ResolvedName>& path, const std::wstring& name) {
    if (name.empty()) return false;
    for (const ResolvedName& open : path) {
        if (FoldedEqual(*open, name)) return false;
    }
    return true;
}

std::wstring LinkedName(const std::wstring& parentResolved, const std::wstring& name, const std::wstring& resolved) {
    if (parentResolved.empty() || resolved.empty()) return {};
    std::wstring where = parentResolved + L'\\' + name;
    if (FoldedEqual(where, resolved)) return {};
    return where;
}

std::wstring StringDataUnits(const BYTE* data, size_t size) {
    std::wstring units((size + 1) / sizeof(wchar_t), L'\0');
    if (size != 0) memcpy(units.data(), data, size);
    return units;
}

std::wstring StringDataText(const BYTE* data, size_t size) {
    std::wstring text = StringDataUnits(data, size);
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

std::wstring StringDataWhole(const BYTE* data, size_t size) {
    std::wstring text = StringDataUnits(data, size);
    size_t end = text.find_last_not_of(L'\0');
    text.resize(end == std::wstring::npos ? 0 : end + 1);
    return text;
}
