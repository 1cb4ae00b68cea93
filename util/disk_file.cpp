#include "util/disk_file.h"

#include <cstdlib>
#include <cwchar>
#include <memory>

#include "util/native_view.h"
#include "util/owned.h"
#include "util/strings.h"

namespace {

// Not in every SDK's headers yet.
constexpr DWORD kRecallOnOpen = 0x00040000;
constexpr DWORD kRecallOnDataAccess = 0x00400000;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
bool IsLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// `length` characters of `text` equal `word` (upper case), ignoring case.
bool EqualsWord(const wchar_t* text, size_t length, const wchar_t* word) {
    if (wcslen(word) != length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (FoldCase(text[i]) != word[i]) return false;
    }
    return true;
}

const wchar_t* const kDeviceNames[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};

// A path's last part names a device when what comes before its first dot or colon, without trailing
// blanks, is a device name: Win32 opens "C:\any\nul.txt" and "com1 ." as the devices.
bool IsDosDeviceName(const wchar_t* name) {
    size_t base = wcscspn(name, L".:");
    while (base > 0 && name[base - 1] == L' ') --base;
    for (const wchar_t* device : kDeviceNames) {
        if (EqualsWord(name, base, device)) return true;
    }
    if (base != 4 || !(EqualsWord(name, 3, L"COM") || EqualsWord(name, 3, L"LPT"))) return false;
    const wchar_t digit = name[3];
    return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

// After "\\server\": the server's pipe and mailslot shares are not files.
bool IsServerDeviceShare(const wchar_t* afterPrefix) {
    const wchar_t* share = afterPrefix + wcscspn(afterPrefix, L"\\/");
    if (*share == L'\0') return false;
    ++share;
    const size_t length = wcscspn(share, L"\\/");
    return EqualsWord(share, length, L"PIPE") || EqualsWord(share, length, L"MAILSLOT");
}

}  // namespace

bool IsDevicePath(const wchar_t* path) {
    // \\?\ and \??\ hand the rest to the object manager unchanged: only a drive or UNC path is a file.
    if (wcsncmp(path, L"\\\\?\\", 4) == 0 || wcsncmp(path, L"\\??\\", 4) == 0) {
        const wchar_t* rest = path + 4;
        if (IsLetter(rest[0]) && rest[1] == L':' && rest[2] == L'\\') return false;
        if (EqualsWord(rest, 3, L"UNC") && rest[3] == L'\\') return IsServerDeviceShare(rest + 4);
        return true;
    }
    if (IsSeparator(path[0]) && IsSeparator(path[1])) {
        // \\.\ and any mix of slashes, with "." or "?": the Win32 device namespace.
        if ((path[2] == L'.' || path[2] == L'?') && (path[3] == L'\0' || IsSeparator(path[3]))) return true;
        return IsServerDeviceShare(path + 2);  // UNC: the server resolves names, none is a DOS device
    }
    const wchar_t* last = path;
    if (IsLetter(path[0]) && path[1] == L':') last = path + 2;  // "C:nul" names the device too
    for (const wchar_t* at = last; *at != L'\0'; ++at) {
        if (IsSeparator(*at)) last = at + 1;
    }
    return *last != L'\0' && IsDosDeviceName(last);
}

bool IsDiskFileHandle(DWORD fileType, bool haveInformation, DWORD attributes) {
    // Pipes (a FIFO of another system opens as one), consoles, serial ports and volumes all fail here.
    return fileType == FILE_TYPE_DISK && haveInformation &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool IsRecalledOnRead(DWORD attributes) {
    // Windows downloads a cloud placeholder (OneDrive online-only files carry RECALL_ON_DATA_ACCESS)
    // when its data is read, or when it is opened for RECALL_ON_OPEN, and brings OFFLINE files back
    // from remote storage.
    return attributes != kUnknownAttributes &&
           (attributes & (kRecallOnDataAccess | kRecallOnOpen | FILE_ATTRIBUTE_OFFLINE)) != 0;
}

namespace {

// The facts of an open file that a section shows, from the two small queries: under Wine
// GetFileInformationByHandle also asks for the volume's serial number, which makes it cost as much as
// the rest of a digest of a small file put together, and a search digests thousands of them.
bool ReadOpenFileFacts(HANDLE handle, BY_HANDLE_FILE_INFORMATION& information) {
    FILE_BASIC_INFO basic = {};
    FILE_STANDARD_INFO standard = {};
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) ||
        !GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard)) {
        return false;
    }
    information.dwFileAttributes = basic.FileAttributes;
    information.ftCreationTime.dwLowDateTime = basic.CreationTime.LowPart;
    information.ftCreationTime.dwHighDateTime = static_cast<DWORD>(basic.CreationTime.HighPart);
    information.ftLastAccessTime.dwLowDateTime = basic.LastAccessTime.LowPart;
    information.ftLastAccessTime.dwHighDateTime = static_cast<DWORD>(basic.LastAccessTime.HighPart);
    information.ftLastWriteTime.dwLowDateTime = basic.LastWriteTime.LowPart;
    information.ftLastWriteTime.dwHighDateTime = static_cast<DWORD>(basic.LastWriteTime.HighPart);
    information.nFileSizeHigh = static_cast<DWORD>(standard.EndOfFile.HighPart);
    information.nFileSizeLow = standard.EndOfFile.LowPart;
    information.nNumberOfLinks = standard.NumberOfLinks;
    return true;
}

}  // namespace

DiskFile OpenDiskFile(const wchar_t* path) {
    DiskFile file;
    if (IsDevicePath(path)) return file;
    NoteOpen();
    // Other handles may go on writing (logs and databases are read while in use); OPEN_NO_RECALL keeps
    // a placeholder where it is even if something does read it.
    FileHandle handle(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_NO_RECALL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!handle) return file;
    BY_HANDLE_FILE_INFORMATION information = {};
    const bool haveInformation = ReadOpenFileFacts(handle.get(), information);
    if (!IsDiskFileHandle(GetFileType(handle.get()), haveInformation, information.dwFileAttributes)) return file;
    file.handle = std::move(handle);
    file.information = information;
    return file;
}

DiskFile OpenFileContent(const wchar_t* path, DWORD attributes) {
    if (IsRecalledOnRead(attributes)) return {};
    DiskFile file = OpenDiskFile(path);
    if (file && IsRecalledOnRead(file.information.dwFileAttributes)) return {};
    return file;
}

ChunkReader HandleReader(HANDLE file) {
    return [file](unsigned char* buffer, DWORD room, DWORD* count) {
        return ReadFile(file, buffer, room, count, nullptr) != FALSE;
    };
}

ReadEnd ReadChunks(const ChunkReader& read, uint64_t limit, DWORD chunkSize, const ChunkTaker& take) {
    if (limit == 0) return ReadEnd::kWhole;
    // The buffer fits the content, up to the chunk size: a search reads thousands of small files, and a
    // large block per file is a fresh mapping and unmapping each time, which costs more than the reading.
    const DWORD bufferSize = limit < chunkSize ? static_cast<DWORD>(limit) : chunkSize;
    std::unique_ptr<unsigned char, FreeDeleter> buffer(static_cast<unsigned char*>(malloc(bufferSize)));
    if (!buffer) abort();
    // Every turn ends or brings the total closer to the limit; each read asks for what is left of it.
    for (uint64_t total = 0; total < limit;) {
        const DWORD room = limit - total < bufferSize ? static_cast<DWORD>(limit - total) : bufferSize;
        DWORD count = 0;
        if (!read(buffer.get(), room, &count) || count > room) return ReadEnd::kFailed;
        if (count == 0) return ReadEnd::kShort;
        total += count;
        if (!take(buffer.get(), count)) break;
    }
    return ReadEnd::kWhole;
}

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& information) {
    return FileIdentity{information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow};
}

bool ReadFileIdentity(const wchar_t* path, FileIdentity& identity) {
    NoteOpen();
    FileHandle opened(CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (!opened || !GetFileInformationByHandle(opened.get(), &information)) return false;
    identity = IdentityOf(information);
    return true;
}
