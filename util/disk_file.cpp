#include "util/disk_file.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <iterator>
#include <memory>

#include "util/native_files.h"
#include "util/native_view.h"

namespace {

// Not in every SDK's headers yet.
constexpr DWORD kRecallOnOpen = 0x00040000;
constexpr DWORD kRecallOnDataAccess = 0x00400000;
// PHCM_EXPOSE_PLACEHOLDERS.
constexpr CHAR kExposePlaceholders = 2;
// The information class of FILE_ID_INFO (FileIdInfo).
constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
static_assert(sizeof(FileIdRecord) == 24, "the layout of FILE_ID_INFO");

std::atomic<bool> backupReads{false};

}  // namespace

void SetBackupReads(bool privilegeHeld) { backupReads.store(privilegeHeld); }

bool BackupReadsHeld() { return backupReads.load(); }

DWORD ReadOpenFlags(ReadOpen open, bool backupRights) {
    // The privilege is honoured only by an open that asks for backup intent; it grants reads, never writes.
    const DWORD backup = backupRights ? FILE_FLAG_BACKUP_SEMANTICS : 0;
    switch (open) {
        case ReadOpen::kContent:
            // OPEN_NO_RECALL keeps a placeholder where it is even if something does read it.
            return FILE_FLAG_OPEN_NO_RECALL | FILE_FLAG_SEQUENTIAL_SCAN | backup;
        case ReadOpen::kIdentity:
        case ReadOpen::kAttributes:
            // The flag is also what lets CreateFileW open a folder at all.
            return FILE_FLAG_BACKUP_SEMANTICS;
        case ReadOpen::kScript:
            return FILE_ATTRIBUTE_NORMAL;
    }
    return 0;
}

bool IsDiskFileHandle(DWORD fileType, bool haveInformation, DWORD attributes) {
    // Pipes (a FIFO of another system opens as one), consoles, serial ports and volumes all fail here.
    return fileType == FILE_TYPE_DISK && haveInformation &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool IsRecalledOnRead(DWORD attributes, AttributeSource source) {
    // Windows downloads a cloud placeholder (OneDrive online-only files carry RECALL_ON_DATA_ACCESS)
    // when its data is read, or when it is opened for RECALL_ON_OPEN, and brings OFFLINE files back
    // from remote storage.
    DWORD recalled = kRecallOnDataAccess | FILE_ATTRIBUTE_OFFLINE;
    if (source == AttributeSource::kFindData) recalled |= kRecallOnOpen;
    return attributes != kUnknownAttributes && (attributes & recalled) != 0;
}

bool ExposePlaceholders() {
    CHAR(NTAPI * setMode)(CHAR) = nullptr;
    FindNtdllCall(setMode, "RtlSetProcessPlaceholderCompatibilityMode");
    // The previous mode comes back, or a negative error.
    return setMode != nullptr && setMode(kExposePlaceholders) >= 0;
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

// The file behind an opened handle, when it is a file on a disk.
DiskFile CheckDiskFile(FileHandle handle) {
    DiskFile file;
    if (!handle) return file;
    BY_HANDLE_FILE_INFORMATION information = {};
    const bool haveInformation = ReadOpenFileFacts(handle.get(), information);
    if (!IsDiskFileHandle(GetFileType(handle.get()), haveInformation, information.dwFileAttributes)) return file;
    file.handle = std::move(handle);
    file.information = information;
    return file;
}

DiskFile RefuseRecalled(DiskFile file) {
    if (file && IsRecalledOnRead(file.information.dwFileAttributes, AttributeSource::kHandle)) return {};
    return file;
}

// NtOpenFile of `name` below `parent`; the Win32 error when it fails.
FileHandle OpenAt(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG options, DWORD& error) {
    FileHandle opened;
    NativeName counted;
    if (!HaveNativeFileCalls() || !MakeNativeName(counted, name.data(), name.size())) {
        error = HaveNativeFileCalls() ? ERROR_FILENAME_EXCED_RANGE : ERROR_CALL_NOT_IMPLEMENTED;
        return opened;
    }
    NativeAttributes attributes = MakeNativeAttributes(parent, &counted);
    NativeIoStatus io = {};
    HANDLE handle = nullptr;
    NoteOpen();
    const LONG status = NativeFileCalls().openFile(&handle, access, &attributes, &io,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                   options | kFileSynchronousIoNonAlert | kFileOpenForBackupIntent);
    error = NativeError(status);
    if (status >= 0) opened.reset(handle);
    return opened;
}

constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

// A handle of a folder on a disk, or nothing and ERROR_DIRECTORY.
FileHandle CheckFolder(FileHandle folder, DWORD& error) {
    if (!folder) return folder;
    FILE_BASIC_INFO basic = {};
    if (GetFileType(folder.get()) != FILE_TYPE_DISK ||
        !GetFileInformationByHandleEx(folder.get(), FileBasicInfo, &basic, sizeof basic) ||
        (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = ERROR_DIRECTORY;
        return FileHandle();
    }
    return folder;
}

}  // namespace

DiskFile OpenDiskFile(const wchar_t* path, ReadOpen open) {
    const OpenablePath target = OpenablePathOf(path);
    if (target.device) return {};
    NoteOpen();
    // Other handles may go on writing (logs and databases are read while in use).
    FileHandle handle(CreateFileW(target.path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  ReadOpenFlags(open, BackupReadsHeld()), nullptr));
    if (!handle) return DiskFile{FileHandle(), {}, GetLastError()};
    return CheckDiskFile(std::move(handle));
}

DiskFile OpenFileContent(const wchar_t* path, DWORD attributes) {
    if (IsRecalledOnRead(attributes, AttributeSource::kFindData)) return {};
    return RefuseRecalled(OpenDiskFile(path));
}

DiskFile OpenFileContentAt(HANDLE parent, const std::wstring& name, DWORD attributes) {
    if (IsRecalledOnRead(attributes, AttributeSource::kFindData)) return {};
    DWORD error = 0;
    // The same open as OpenDiskFile's, in the native API's terms.
    return RefuseRecalled(CheckDiskFile(
        OpenAt(parent, name, GENERIC_READ, kFileNonDirectoryFile | kFileSequentialOnly | kFileOpenNoRecall, error)));
}

bool MayOpenRelative(bool redirectionOffAsked, bool threadInNativeView) {
    return !redirectionOffAsked || threadInNativeView;
}

bool RelativeOpensHere() {
    return HaveNativeFileCalls() && MayOpenRelative(ProcessNativeViews().fileSystem, ThreadInNativeViews());
}

FileHandle OpenFolderByPath(const wchar_t* path, DWORD& error) {
    const OpenablePath target = OpenablePathOf(path);
    if (target.device) {
        error = ERROR_DIRECTORY;
        return FileHandle();
    }
    NoteOpen();
    FileHandle folder(CreateFileW(target.path.c_str(), kFolderAccess,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    error = folder ? ERROR_SUCCESS : GetLastError();
    return CheckFolder(std::move(folder), error);
}

FileHandle OpenFolderAt(HANDLE parent, const std::wstring& name, DWORD& error) {
    return CheckFolder(OpenAt(parent, name, kFolderAccess, kFileDirectoryFile, error), error);
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
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[bufferSize]);
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

bool IsReparseTagToEnter(DWORD tag) {
    // Windows marks folders that stand for another place (junctions, mount points, symbolic links,
    // WSL links) as name surrogates; the other Microsoft tags are the file system's own storage
    // (OneDrive and cloud placeholders, deduplication, WOF, container layers) over a real folder,
    // entered like any folder. A tag not known here, and Wine's links (tag 0), count as links.
    static const DWORD kKnownTags[] = {
        0xA0000003,  // MOUNT_POINT (also junctions)
        0xC0000004,  // HSM
        0x80000005,  // DRIVE_EXTENDER
        0x80000006,  // HSM2
        0x80000007,  // SIS
        0x80000008,  // WIM
        0x80000009,  // CSV
        0x8000000A,  // DFS
        0x8000000B,  // FILTER_MANAGER
        0xA000000C,  // SYMLINK
        0xA0000010,  // IIS_CACHE
        0x80000012,  // DFSR
        0x80000013,  // DEDUP
        0x80000014,  // NFS
        0x80000015,  // FILE_PLACEHOLDER
        0x80000017,  // WOF
        0x80000018,  // WCI
        0x90001018,  // WCI_1
        0xA0000019,  // GLOBAL_REPARSE
        0x8000001B,  // APPEXECLINK
        0x9000001C,  // PROJFS
        0xA000001D,  // LX_SYMLINK
        0x8000001E,  // STORAGE_SYNC
        0xA000001F,  // WCI_TOMBSTONE
        0x80000020,  // UNHANDLED
        0x80000021,  // ONEDRIVE
        0xA0000022,  // PROJFS_TOMBSTONE
        0x80000023,  // AF_UNIX
        0x80000024,  // LX_FIFO
        0x80000025,  // LX_CHR
        0x80000026,  // LX_BLK
        0xA0000027,  // WCI_LINK
        0xA0001027,  // WCI_LINK_1
        0x90000027,  // STORAGE_SYNC_FOLDER
        0xA0000028,  // DATALESS_CIM
    };
    // CLOUD, CLOUD_1 .. CLOUD_F: 0x9000001A with the provider's number in bits 12-15.
    const bool known = (tag & ~0x0000F000u) == 0x9000001A ||
                       std::find(std::begin(kKnownTags), std::end(kKnownTags), tag) != std::end(kKnownTags);
    return known && !IsReparseTagNameSurrogate(tag);
}

bool FileIdentity::operator==(const FileIdentity& other) const {
    if (wide == other.wide) return volume == other.volume && idLow == other.idLow && idHigh == other.idHigh;
    return static_cast<uint32_t>(volume) == static_cast<uint32_t>(other.volume) && idLow == other.idLow &&
           idHigh == 0 && other.idHigh == 0;
}

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& information) {
    FileIdentity identity;
    identity.volume = information.dwVolumeSerialNumber;
    identity.idLow = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    return identity;
}

bool HasWideIdentity(const FileIdRecord& record) {
    for (BYTE byte : record.FileId) {
        if (byte != 0) return true;
    }
    return false;
}

FileIdentity IdentityOf(const FileIdRecord& record) {
    // On NTFS the low 8 bytes are the file index.
    FileIdentity identity;
    identity.volume = record.VolumeSerialNumber;
    for (int i = 7; i >= 0; --i) {
        identity.idLow = (identity.idLow << 8) | record.FileId[i];
        identity.idHigh = (identity.idHigh << 8) | record.FileId[8 + i];
    }
    identity.wide = true;
    return identity;
}

bool ReadFileIdentity(const wchar_t* path, FileIdentity& identity) {
    const OpenablePath target = OpenablePathOf(path);
    if (target.device) return false;
    NoteOpen();
    FileHandle opened(CreateFileW(target.path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  ReadOpenFlags(ReadOpen::kIdentity, BackupReadsHeld()), nullptr));
    return opened && ReadHandleIdentity(opened.get(), identity);
}

bool IsSameFile(const wchar_t* first, const wchar_t* second) {
    FileIdentity one;
    FileIdentity other;
    return ReadFileIdentity(first, one) && ReadFileIdentity(second, other) && one == other;
}

bool ReadHandleIdentity(HANDLE handle, FileIdentity& identity) {
    // FileIdInfo exists from Windows 8 on, and not on every file system.
    FileIdRecord wide = {};
    if (GetFileInformationByHandleEx(handle, kFileIdInfo, &wide, sizeof wide) && HasWideIdentity(wide)) {
        identity = IdentityOf(wide);
        return true;
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information)) return false;
    identity = IdentityOf(information);
    return true;
}

DWORD PathAttributes(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    // GetFileAttributesW takes no flag: only an open for backup carries the privilege past an access list.
    if (attributes != INVALID_FILE_ATTRIBUTES || GetLastError() != ERROR_ACCESS_DENIED || !BackupReadsHeld() ||
        IsDevicePath(path)) {
        return attributes;
    }
    FileHandle opened(CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, ReadOpenFlags(ReadOpen::kAttributes, true), nullptr));
    FILE_BASIC_INFO basic = {};
    if (!opened || !GetFileInformationByHandleEx(opened.get(), FileBasicInfo, &basic, sizeof basic))
        return INVALID_FILE_ATTRIBUTES;
    return basic.FileAttributes;
}

bool DoesFolderExist(const wchar_t* path) {
    const DWORD attributes = PathAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
