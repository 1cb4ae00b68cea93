#include "util/registry_read.h"

#include <cstdlib>
#include <cwchar>

namespace {

constexpr int kMaxAttempts = 8;
// Longest names the registry allows: 16,383 characters for a value, 255 for a key.
constexpr DWORD kMaxValueNameLength = 16383;
constexpr DWORD kMaxKeyNameLength = 255;
constexpr DWORD kFirstNameCapacity = 256;

DWORD LongestName(HKEY key, bool valueNames) {
    DWORD subkeyLength = 0;
    DWORD valueLength = 0;
    LONG status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &subkeyLength, nullptr, nullptr,
                                   &valueLength, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return valueNames ? kMaxValueNameLength : kMaxKeyNameLength;
    return valueNames ? valueLength : subkeyLength;
}

// Runs `fetch(buffer, capacity)` with a name buffer that grows on ERROR_MORE_DATA.
template <typename Fetch>
LONG FetchName(HKEY key, bool valueNames, DWORD maxLength, std::wstring& name, Fetch fetch) {
    // Start from a size most names fit and ask the key for its longest name only when one does not:
    // that query walks all the key's entries, so asking it at every index makes a walk quadratic.
    DWORD capacity = kFirstNameCapacity < maxLength + 1 ? kFirstNameCapacity : maxLength + 1;
    std::vector<wchar_t> buffer;
    LONG status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kMaxAttempts && status == ERROR_MORE_DATA; ++attempt) {
        buffer.assign(capacity + 1, L'\0');
        DWORD length = capacity;
        status = fetch(buffer.data(), &length);
        if (status == ERROR_SUCCESS) {
            name.assign(buffer.data(), wcsnlen(buffer.data(), capacity));
            return status;
        }
        if (status != ERROR_MORE_DATA) break;  // the end, or an index to skip: nothing to grow
        DWORD longest = LongestName(key, valueNames) + 1;
        capacity = longest > capacity ? longest : (capacity >= maxLength + 1 ? maxLength + 1 : capacity * 2);
    }
    return status;
}

}  // namespace

LONG QueryValueData(HKEY key, const wchar_t* name, DWORD& type, std::vector<BYTE>& data) {
    DWORD size = 0;
    DWORD valueType = 0;
    LONG status = RegQueryValueExW(key, name, nullptr, &valueType, nullptr, &size);
    for (int attempt = 0; attempt < kMaxAttempts && status == ERROR_SUCCESS; ++attempt) {
        std::vector<BYTE> buffer(size + sizeof(wchar_t), 0);  // room to spare: a grown value shows up as more data
        DWORD fetched = size + sizeof(wchar_t);
        status = RegQueryValueExW(key, name, nullptr, &valueType, buffer.data(), &fetched);
        if (status == ERROR_SUCCESS) {
            if (fetched > buffer.size()) fetched = static_cast<DWORD>(buffer.size());
            buffer.resize(fetched);
            data.swap(buffer);
            type = valueType;
            return ERROR_SUCCESS;
        }
        if (status != ERROR_MORE_DATA) return status;
        size = fetched > size ? fetched : size * 2 + 64;
        status = ERROR_SUCCESS;
    }
    return status == ERROR_SUCCESS ? ERROR_MORE_DATA : status;
}

LONG EnumValueAt(HKEY key, DWORD index, std::wstring& name, DWORD& type) {
    DWORD valueType = 0;
    LONG status = FetchName(key, true, kMaxValueNameLength, name, [&](wchar_t* buffer, DWORD* length) {
        return RegEnumValueW(key, index, buffer, length, nullptr, &valueType, nullptr, nullptr);
    });
    if (status == ERROR_SUCCESS) type = valueType;
    return status;
}

LONG EnumSubkeyAt(HKEY key, DWORD index, std::wstring& name) {
    return FetchName(key, false, kMaxKeyNameLength, name, [&](wchar_t* buffer, DWORD* length) {
        return RegEnumKeyExW(key, index, buffer, length, nullptr, nullptr, nullptr, nullptr);
    });
}

std::wstring RegDataAsText(const std::vector<BYTE>& data) {
    size_t units = data.size() / sizeof(wchar_t);
    std::wstring text(units, L'\0');
    if (units != 0) memcpy(text.data(), data.data(), units * sizeof(wchar_t));
    text.resize(wcsnlen(text.c_str(), units));
    return text;
}

wchar_t* NewText(const std::wstring& text) {
    auto* copy = static_cast<wchar_t*>(calloc(text.size() + 1, sizeof(wchar_t)));
    if (copy == nullptr) abort();
    wmemcpy(copy, text.data(), text.size());
    return copy;
}
