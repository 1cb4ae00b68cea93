#include "util/version_record.h"

#include <cstring>
#include <cwchar>

#include "util/disk_file.h"
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

// A version record is a few KiB; anything claiming more is not read.
constexpr DWORD kLargestRecord = 1 << 20;
constexpr DWORD kSubdirectory = 0x80000000;  // an entry's data offset points at another directory
constexpr DWORD kNamedEntry = 0x80000000;    // an entry's name is a string, not an id

template <typename T>
bool ReadAt(const OffsetReader& read, uint64_t offset, T& value) {
    return read(offset, &value, sizeof value);
}

// The first entry of the resource directory at `directory` whose id is `id`, or its first entry of
// all when `id` is 0.
bool FindEntry(const OffsetReader& read, uint64_t directory, WORD id, IMAGE_RESOURCE_DIRECTORY_ENTRY& found) {
    IMAGE_RESOURCE_DIRECTORY header;
    if (!ReadAt(read, directory, header)) return false;
    const DWORD entries = static_cast<DWORD>(header.NumberOfNamedEntries) + header.NumberOfIdEntries;
    for (DWORD i = 0; i < entries; ++i) {
        if (!ReadAt(read, directory + sizeof header + i * sizeof found, found)) return false;
        if (id == 0 || ((found.Name & kNamedEntry) == 0 && (found.Name & 0xFFFF) == id)) return true;
    }
    return false;
}

OffsetReader HandleOffsetReader(HANDLE file) {
    return [file](uint64_t offset, void* out, DWORD count) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        DWORD got = 0;
        return offset < (1ull << 62) && SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
               ReadFile(file, out, count, &got, nullptr) && got == count;
    };
}

bool HasStringTable(const std::vector<BYTE>& record, DWORD translation) {
    void* table = nullptr;
    UINT length = 0;
    return VerQueryValueW(record.data(), StringTablePath(translation).c_str(), &table, &length) && table != nullptr;
}

}  // namespace

std::vector<BYTE> VersionResourceOf(const OffsetReader& read) {
    IMAGE_DOS_HEADER dos;
    DWORD signature = 0;
    IMAGE_FILE_HEADER header;
    WORD magic = 0;
    if (!ReadAt(read, 0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return {};
    const uint64_t nt = static_cast<DWORD>(dos.e_lfanew);
    const uint64_t optional = nt + sizeof signature + sizeof header;
    if (!ReadAt(read, nt, signature) || signature != IMAGE_NT_SIGNATURE ||
        !ReadAt(read, nt + sizeof signature, header) || !ReadAt(read, optional, magic)) {
        return {};
    }
    // The data directories follow the optional header's fixed part, which is longer in PE32+.
    const DWORD fixed = magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC ? 112 : magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC ? 96 : 0;
    DWORD directories = 0;
    IMAGE_DATA_DIRECTORY resources;
    const DWORD resourceEnd = fixed + (IMAGE_DIRECTORY_ENTRY_RESOURCE + 1) * sizeof resources;
    if (fixed == 0 || header.SizeOfOptionalHeader < resourceEnd || !ReadAt(read, optional + fixed - 4, directories) ||
        directories <= IMAGE_DIRECTORY_ENTRY_RESOURCE ||
        !ReadAt(read, optional + fixed + IMAGE_DIRECTORY_ENTRY_RESOURCE * sizeof resources, resources)) {
        return {};
    }
    // Where `length` bytes at an address of the loaded image lie in the file: in the raw data of the
    // section that holds them.
    const uint64_t sections = optional + header.SizeOfOptionalHeader;
    auto fileOffset = [&](DWORD address, DWORD length, uint64_t& offset) {
        IMAGE_SECTION_HEADER section;
        for (WORD i = 0; i < header.NumberOfSections; ++i) {
            if (!ReadAt(read, sections + i * static_cast<uint64_t>(sizeof section), section)) return false;
            if (address >= section.VirtualAddress &&
                static_cast<uint64_t>(address - section.VirtualAddress) + length <= section.SizeOfRawData) {
                offset = static_cast<uint64_t>(section.PointerToRawData) + (address - section.VirtualAddress);
                return true;
            }
        }
        return false;
    };
    // Three levels below the root, as the loader finds a resource: type, name, language.
    uint64_t root = 0;
    IMAGE_RESOURCE_DIRECTORY_ENTRY type, name, language;
    if (!fileOffset(resources.VirtualAddress, sizeof(IMAGE_RESOURCE_DIRECTORY), root) ||
        !FindEntry(read, root, 16 /* RT_VERSION */, type) || (type.OffsetToData & kSubdirectory) == 0 ||
        !FindEntry(read, root + (type.OffsetToData & ~kSubdirectory), 0, name) ||
        (name.OffsetToData & kSubdirectory) == 0 ||
        !FindEntry(read, root + (name.OffsetToData & ~kSubdirectory), 0, language) ||
        (language.OffsetToData & kSubdirectory) != 0) {
        return {};
    }
    IMAGE_RESOURCE_DATA_ENTRY data;
    uint64_t at = 0;
    if (!ReadAt(read, root + language.OffsetToData, data) || data.Size == 0 || data.Size > kLargestRecord ||
        !fileOffset(data.OffsetToData, data.Size, at)) {
        return {};
    }
    std::vector<BYTE> record(data.Size);
    if (!read(at, record.data(), data.Size)) return {};
    return record;
}

std::vector<BYTE> ReadVersionRecord(const wchar_t* path) {
    std::vector<BYTE> record;
    DWORD size = 0;
    DWORD refusal = ERROR_SUCCESS;
    FetchSized(record, [&](BYTE* data, DWORD room, DWORD* needed) {
        if (data == nullptr) {
            DWORD ignored = 0;
            *needed = GetFileVersionInfoSizeW(path, &ignored);
            if (*needed == 0) refusal = GetLastError();
            SetLastError(*needed != 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_RESOURCE_TYPE_NOT_FOUND);
            return FALSE;
        }
        if (!GetFileVersionInfoW(path, 0, room, data)) return FALSE;
        size = room;
        return TRUE;
    });
    if (record.size() > size) record.erase(record.begin() + size, record.end());  // not the spare zeros after it
    if (!record.empty() || refusal != ERROR_ACCESS_DENIED || !BackupReadsHeld()) return record;
    // An access list that shuts administrators out: what backup rights can read of the file.
    DiskFile file = OpenDiskFile(path);
    return file ? VersionResourceOf(HandleOffsetReader(file.handle.get())) : record;
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
