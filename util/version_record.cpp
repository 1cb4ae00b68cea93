#include "util/version_record.h"

#include <cstring>
#include <cwchar>

#include "util/sized_fetch.h"

namespace {

const wchar_t kTranslation[] = L"\\VarFileInfo\\Translation";
const wchar_t kStringTable[] = L"\\StringFileInfo\\";

// Tried in this order when a version record has no translation table.
const DWORD kFallbackTranslations[] = {MAKELONG(0x0409, 0x04B0), MAKELONG(0x0409, 0x04E4)};

// "\StringFileInfo\llllcccc", language and code page as lower-case hexadecimal.
std::wstring StringTablePath(DWORD translation) {
    wchar_t hex[9];
    swprintf(hex, 9, L"%04x%04x", LOWORD(translation), HIWORD(translation));
    return std::wstring(kStringTable) + hex;
}

bool HasStringTable(const std::vector<BYTE>& record, DWORD translation) {
    void* table = nullptr;
    UINT length = 0;
    return VerQueryValueW(record.data(), StringTablePath(translation).c_str(), &table, &length) && table != nullptr;
}

}  // namespace

std::vector<BYTE> ReadVersionRecord(const wchar_t* path) {
    std::vector<BYTE> record;
    DWORD size = 0;
    FetchSized(record, [&](BYTE* data, DWORD room, DWORD* needed) {
        if (data == nullptr) {
            DWORD ignored = 0;
            *needed = GetFileVersionInfoSizeW(path, &ignored);
            SetLastError(*needed != 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_RESOURCE_TYPE_NOT_FOUND);
            return FALSE;
        }
        if (!GetFileVersionInfoW(path, 0, room, data)) return FALSE;
        size = room;
        return TRUE;
    });
    if (record.size() > size) record.erase(record.begin() + size, record.end());  // not the spare zeros after it
    return record;
}

bool ChooseTranslation(const std::vector<BYTE>& record, DWORD& translation) {
    if (record.empty()) return false;
    void* entries = nullptr;
    UINT length = 0;
    if (VerQueryValueW(record.data(), kTranslation, &entries, &length) && entries != nullptr &&
        length >= sizeof(DWORD)) {
        memcpy(&translation, entries, sizeof translation);
        return true;
    }
    for (DWORD candidate : kFallbackTranslations) {
        if (HasStringTable(record, candidate)) {
            translation = candidate;
            return true;
        }
    }
    return false;
}

bool VersionString(const std::vector<BYTE>& record, DWORD translation, const wchar_t* name, std::wstring& text) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring query = StringTablePath(translation) + L"\\" + name;
    if (record.empty() || !VerQueryValueW(record.data(), query.c_str(), &value, &length) || value == nullptr) {
        return false;
    }
    const auto* start = static_cast<const BYTE*>(value);
    const BYTE* end = record.data() + record.size();
    size_t room = start >= record.data() && start < end ? static_cast<size_t>(end - start) / sizeof(wchar_t) : 0;
    const auto* characters = static_cast<const wchar_t*>(value);
    text.assign(characters, wcsnlen(characters, room));
    return true;
}
