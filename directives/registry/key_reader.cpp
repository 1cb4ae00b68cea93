// The reads every walk of the registry makes. Under Wine each registry call is a round trip to the
// wine server, and a walk's time is that of its calls: one RegQueryInfoKeyW per key gives the counts
// and sizes the buffers, each value comes with its type and data in one RegEnumValueW call, and the
// counts spare the closing ERROR_NO_MORE_ITEMS call of each enumeration. A step that answers
// ERROR_MORE_DATA (the key changed under us) grows the buffers and asks for the same index again.
#include <cwchar>

#include "directives/registry/registry.h"

namespace {

constexpr int kMaxAttempts = 8;
constexpr unsigned kMaxFailedSteps = 64;  // a key deleted mid-walk fails every index
constexpr DWORD kMaxValueNameLength = 16383;
constexpr DWORD kMaxKeyNameLength = 255;
constexpr size_t kSmallestData = 64;

void Grow(std::vector<wchar_t>& buffer, size_t characters) {
    if (buffer.size() < characters) buffer.assign(characters, L'\0');
}
void Grow(std::vector<BYTE>& buffer, size_t bytes) {
    if (buffer.size() < bytes) buffer.assign(bytes, 0);
}

// Runs `step(index)` for every index of an enumeration of `count` items (MAXDWORD: until
// ERROR_NO_MORE_ITEMS) and `use()` after each success. A run of failures ends the walk.
template <typename Step, typename Use>
void Enumerate(DWORD count, Step step, Use use) {
    unsigned failures = 0;
    for (DWORD index = 0; index < count; ++index) {
        LONG status = step(index);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) {
            if (++failures > kMaxFailedSteps) break;
            continue;
        }
        failures = 0;
        use();
    }
}

}  // namespace

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
    LONG status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kMaxAttempts && status == ERROR_MORE_DATA; ++attempt) {
        DWORD nameCapacity = static_cast<DWORD>(reader.name.size() - 1);
        DWORD dataCapacity = static_cast<DWORD>(reader.data.size());
        DWORD nameLength = nameCapacity;
        DWORD dataSize = dataCapacity;
        DWORD type = 0;
        status =
            RegEnumValueW(key, index, reader.name.data(), &nameLength, nullptr, &type, reader.data.data(), &dataSize);
        if (status == ERROR_SUCCESS) {
            reader.nameLength = wcsnlen(reader.name.data(), nameLength < nameCapacity ? nameLength : nameCapacity);
            reader.name[reader.nameLength] = L'\0';
            reader.dataSize = dataSize < dataCapacity ? dataSize : dataCapacity;
            reader.type = type;
            return status;
        }
        if (status != ERROR_MORE_DATA) return status;
        size_t oldName = reader.name.size();
        size_t oldData = reader.data.size();
        FitBuffers(key, reader);
        if (dataSize > dataCapacity) Grow(reader.data, dataSize);
        if (reader.name.size() == oldName && reader.data.size() == oldData) {
            // The key's figures lag behind what the call saw and it did not say which part was short.
            if (nameCapacity <= kMaxValueNameLength) Grow(reader.name, nameCapacity * 2 + 2);
            Grow(reader.data, dataCapacity * 2 + kSmallestData);
        }
    }
    return status;
}

LONG ReadSubkeyAt(HKEY key, DWORD index, KeyReader& reader) {
    Grow(reader.name, kMaxKeyNameLength + 2);
    LONG status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kMaxAttempts && status == ERROR_MORE_DATA; ++attempt) {
        DWORD capacity = static_cast<DWORD>(reader.name.size() - 1);
        DWORD length = capacity;
        status = RegEnumKeyExW(key, index, reader.name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) {
            reader.nameLength = wcsnlen(reader.name.data(), length < capacity ? length : capacity);
            reader.name[reader.nameLength] = L'\0';
            return status;
        }
        if (status == ERROR_MORE_DATA) Grow(reader.name, capacity * 2 + 2);
    }
    return status;
}

DString* GetValues(HKEY key, DWORD count, KeyReader& reader) {
    DString* values = nullptr;
    Enumerate(
        count, [&](DWORD index) { return ReadValueAt(key, index, reader); },
        [&] {
            values = addStrings(values, ValueLabel(reader.name.data()).c_str(),
                                ValueText(reader.type, reader.data.data(), reader.dataSize).c_str());
        });
    return values;
}

String* GetSubkeys(HKEY key, DWORD count, KeyReader& reader) {
    String* names = nullptr;
    Enumerate(
        count, [&](DWORD index) { return ReadSubkeyAt(key, index, reader); },
        [&] {
            if (reader.nameLength != 0) names = addString(names, reader.name.data());
        });
    return names;
}

DString* GetStringValues(HKEY key, DWORD count, KeyReader& reader) {
    DString* values = nullptr;
    Enumerate(
        count, [&](DWORD index) { return ReadValueAt(key, index, reader); },
        [&] {
            if (reader.type != REG_SZ && reader.type != REG_EXPAND_SZ && reader.type != REG_MULTI_SZ) return;
            const BYTE* data = reader.data.data();
            std::wstring text = reader.type == REG_MULTI_SZ ? MultiStringText(data, reader.dataSize)
                                                            : StringDataText(data, reader.dataSize);
            values = addStrings(values, ValueLabel(reader.name.data()).c_str(), text.c_str());
        });
    return values;
}

DString* GetValues(HKEY key) {
    KeyReader reader;
    return GetValues(key, FitBuffers(key, reader).values, reader);
}

String* GetSubkeys(HKEY key) {
    KeyReader reader;
    return GetSubkeys(key, FitBuffers(key, reader).subkeys, reader);
}

DString* GetStringValues(HKEY key) {
    KeyReader reader;
    return GetStringValues(key, FitBuffers(key, reader).values, reader);
}
