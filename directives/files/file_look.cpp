// FILE: one section per line with the file's digest, times, size, attributes and version strings.
#include <windows.h>

#include <cwchar>
#include <vector>

#include "directives/files/files.h"
#include "report/log.h"
#include "report/texts.h"
#include "util/disk_file.h"
#include "util/environment.h"
#include "util/md5.h"
#include "util/owned.h"
#include "util/sized_fetch.h"

namespace {

const wchar_t kLineEnd[] = L"\r\n";
const wchar_t kUnableToFind[] = L" - Unable to find/read file.\r\n";
const wchar_t kFound[] = L" - File found and opened.\r\n";
const wchar_t kMd5Label[] = L"MD5: ";
const wchar_t kCreatedAt[] = L"Created at ";
const wchar_t kModifiedAt[] = L"Modified at ";
const wchar_t kSizeLabel[] = L"Size: ";
const wchar_t kSizeUnit[] = L" bytes\r\n";
const wchar_t kAttributesLabel[] = L"Attributes: ";
const wchar_t kNoVersion[] = L"No version information available.\r\n";
const wchar_t kTranslation[] = L"\\VarFileInfo\\Translation";
const wchar_t kStringTable[] = L"\\StringFileInfo\\";
const wchar_t kValueSeparator[] = L": ";

const wchar_t* const VER_INFO_ARR[] = {L"FileDescription",  L"FileVersion",    L"ProductVersion",
                                       L"OriginalFilename", L"InternalName",   L"ProductName",
                                       L"CompanyName",      L"LegalCopyright", L"Comments"};
constexpr size_t NUM_VINFO = sizeof VER_INFO_ARR / sizeof VER_INFO_ARR[0];

// Tried in this order when a version record has no translation table.
const DWORD kFallbackTranslations[] = {MAKELONG(0x0409, 0x04B0), MAKELONG(0x0409, 0x04E4)};

// "hh:mm on dd/mm/yyyy", the FILE section's own time form.
std::wstring TimeLine(const wchar_t* label, const FILETIME& time) {
    std::wstring line = label;
    AppendTime(line, FileTimeFields(time), L" on ");
    line += kLineEnd;
    return line;
}

// "\StringFileInfo\llllcccc", language and code page as lower-case hexadecimal.
std::wstring StringTablePath(DWORD translation) {
    wchar_t hex[9];
    swprintf(hex, 9, L"%04x%04x", LOWORD(translation), HIWORD(translation));
    return std::wstring(kStringTable) + hex;
}

bool HasStringTable(const std::vector<BYTE>& block, DWORD translation) {
    void* table = nullptr;
    UINT length = 0;
    return VerQueryValueW(block.data(), StringTablePath(translation).c_str(), &table, &length) && table != nullptr;
}

// The first translation of the record, or else the first common one whose string table exists.
bool ChooseTranslation(const std::vector<BYTE>& block, DWORD& translation) {
    void* entries = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), kTranslation, &entries, &length) && entries != nullptr &&
        length >= sizeof(DWORD)) {
        memcpy(&translation, entries, sizeof translation);
        return true;
    }
    for (DWORD candidate : kFallbackTranslations) {
        if (HasStringTable(block, candidate)) {
            translation = candidate;
            return true;
        }
    }
    return false;
}

void LogVersionStrings(const wchar_t* path, FILE* report) {
    std::vector<BYTE> block;
    DWORD size = 0;
    FetchSized(block, [&](BYTE* data, DWORD room, DWORD* needed) {
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
    if (block.size() > size) block.erase(block.begin() + size, block.end());  // not the spare zeros after it
    DWORD translation = 0;
    if (block.empty() || !ChooseTranslation(block, translation)) {
        Log(kNoVersion, report);
        return;
    }
    const std::wstring table = StringTablePath(translation) + L"\\";
    const BYTE* blockEnd = block.data() + block.size();
    for (const wchar_t* name : VER_INFO_ARR) {
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(block.data(), (table + name).c_str(), &value, &length) || value == nullptr) continue;
        // The value is read only up to the end of the block, whatever its stored terminator says.
        const auto* text = static_cast<const wchar_t*>(value);
        size_t room = 0;
        if (reinterpret_cast<const BYTE*>(text) >= block.data() && reinterpret_cast<const BYTE*>(text) < blockEnd) {
            room = static_cast<size_t>(blockEnd - reinterpret_cast<const BYTE*>(text)) / sizeof(wchar_t);
        }
        std::wstring line = name;
        line += kValueSeparator;
        line.append(text, wcsnlen(text, room));
        line += kLineEnd;
        Log(line.c_str(), report);
    }
}

}  // namespace

void FileLook(wchar_t* line, FILE* report) {
    OwnedText path = ExpandEnvironment(line);
    Log(kLineEnd, report);
    Log(path.get(), report);

    DiskFile file = OpenDiskFile(path.get());
    if (!file) {
        Log(kUnableToFind, report);
        return;
    }
    file.handle.reset();
    Log(kFound, report);

    const BY_HANDLE_FILE_INFORMATION& information = file.information;
    OwnedText digest = MD5File(path.get(), information.dwFileAttributes);
    Log(kMd5Label, report);
    Log(digest ? digest.get() : kNoDigestLine, report);
    Log(kLineEnd, report);

    std::wstring details = TimeLine(kCreatedAt, information.ftCreationTime);
    details += TimeLine(kModifiedAt, information.ftLastWriteTime);
    details += kSizeLabel;
    AppendNumber(details, file.size());
    details += kSizeUnit;
    details += kAttributesLabel;
    details += AttributeField(information.dwFileAttributes);
    details += kLineEnd;
    Log(details.c_str(), report);

    // Reading the version record reads the content, which a cloud-only file does not have here.
    if (IsRecalledOnRead(information.dwFileAttributes)) {
        Log(kNoVersion, report);
        return;
    }
    LogVersionStrings(path.get(), report);
}
