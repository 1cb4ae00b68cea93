#include "util/registry.h"

#include <cstring>
#include <cwchar>

#include "util/native_view.h"
#include "util/sized_fetch.h"

namespace {

constexpr size_t kSmallestData = 64;

void Grow(std::vector<wchar_t>& buffer, size_t characters) {
    if (buffer.size() < characters) buffer.assign(characters, L'\0');
}
void Grow(std::vector<BYTE>& buffer, size_t bytes) {
    if (buffer.size() < bytes) buffer.assign(bytes, 0);
}

// Takes the name the last call wrote, up to its first NUL.
void KeepName(KeyReader& reader, DWORD length, DWORD capacity) {
    reader.nameLength = wcsnlen(reader.name.data(), length < capacity ? length : capacity);
    reader.name[reader.nameLength] = L'\0';
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

RegKey OpenKey(HKEY parent, const wchar_t* path, LONG* status) {
    RegKey key;
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
    Grow(reader.name, (subkeyLength > valueLength ? subkeyLength : valueLength) + 2);
    Grow(reader.data, dataSize);
    return counts;
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

String* GetSubkeys(HKEY key, DWORD count, KeyReader& reader) {
    String* names = nullptr;
    ForEachSubkey(key, count, reader, [&] {
        if (reader.nameLength != 0) names = addString(names, reader.name.data());
        return true;
    });
    return names;
}

String* GetSubkeys(HKEY key) {
    KeyReader reader;
    return GetSubkeys(key, FitBuffers(key, reader).subkeys, reader);
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

std::wstring StringDataText(const BYTE* data, size_t size) {
    size_t units = size / sizeof(wchar_t);
    std::wstring text(units, L'\0');
    if (units != 0) memcpy(text.data(), data, units * sizeof(wchar_t));
    text.resize(wcsnlen(text.c_str(), units));
    return text;
}
