// Opening and reading files that lie on a disk, and nothing else: what the path's text or the opened
// handle shows to be a device, a pipe, a console or a folder is never read, and content that Windows
// would first have to fetch from a cloud provider or offline storage is never asked for.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "util/handles.h"
#include "util/path_forms.h"

// An attribute word the caller does not have (no find data at hand).
constexpr DWORD kUnknownAttributes = INVALID_FILE_ATTRIBUTES;

// True when an opened handle's facts show a file on a disk: GetFileType's answer, whether
// GetFileInformationByHandle worked, and the attribute word it gave.
bool IsDiskFileHandle(DWORD fileType, bool haveInformation, DWORD attributes);
// Where an attribute word was read. Bit 0x40000 means RECALL_ON_OPEN only in find data (directory
// enumeration); read from a handle the same bit is FILE_ATTRIBUTE_EA, a file with extended attributes.
enum class AttributeSource { kFindData, kHandle };
// True when reading the file's content would make Windows recall it from elsewhere first; false for
// kUnknownAttributes.
bool IsRecalledOnRead(DWORD attributes, AttributeSource source);

// Whether a walk may enter a reparse-point folder with this tag (the find data's dwReserved0): not a
// link, junction or mount point, but the storage of a real folder (cloud placeholders, deduplication).
bool IsReparseTagToEnter(DWORD tag);

// Asks Windows (10 1803 on) to show this process cloud placeholders as they are: for compatibility it
// may give a program "disguised" placeholders, with the reparse point and the cloud bits hidden, which
// would then be read (and downloaded) like local files. False where the call does not exist.
bool ExposePlaceholders();

// What identifies one file or folder, the same for every path that leads to it: the volume's serial
// number and the file's id on that volume. ReFS (Windows 11 Dev Drives) ids are 128 bits wide, and the
// 64-bit file index of GetFileInformationByHandle is not unique there: the wide id is read where the
// file system gives one, the index otherwise.
struct FileIdentity {
    uint64_t volume = 0;
    uint64_t idLow = 0;
    uint64_t idHigh = 0;
    bool wide = false;  // from FileIdInfo (a 64-bit serial, a 128-bit id)
    // A wide and an index identity (one query failed) are compared by what both hold: the serial's low
    // 32 bits and a 64-bit id.
    bool operator==(const FileIdentity& other) const;
};
FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& information);
// FILE_ID_INFO, which GetFileInformationByHandleEx gives from Windows 8 on (the headers declare it only
// for programs that need Windows 8): the id's 16 bytes in little-endian order.
struct FileIdRecord {
    ULONGLONG VolumeSerialNumber;
    BYTE FileId[16];
};
// False when `record` holds no id: a file system without 128-bit ids gives zero.
bool HasWideIdentity(const FileIdRecord& record);
FileIdentity IdentityOf(const FileIdRecord& record);
// The identity of what `path` names (in the form OpenablePathOf gives it), a folder as well as a file,
// opened for its attributes only; false for a device and when it cannot be opened or asked.
bool ReadFileIdentity(const wchar_t* path, FileIdentity& identity);
// The identity of what an open handle (with FILE_READ_ATTRIBUTES) names.
bool ReadHandleIdentity(HANDLE handle, FileIdentity& identity);
// Whether two paths name one file, each opened for its attributes only; false when either cannot be opened.
bool IsSameFile(const wchar_t* first, const wchar_t* second);

// Whether a name may be opened relative to a folder already open on this thread. In the x86 build under
// WOW64 the file-system redirector works on the name each open passes, on threads where it is on;
// where the views ask for it off and this thread has not turned it off, a relative and a by-path open
// could name different folders, so only the by-path form is used there.
bool MayOpenRelative(bool redirectionOffAsked, bool threadInNativeView);
// MayOpenRelative for this process's views on the calling thread, and the native calls are there.
bool RelativeOpensHere();

// A folder opened for listing its entries and opening them relative to it (FILE_LIST_DIRECTORY,
// FILE_READ_ATTRIBUTES, every share, backup intent): by its path (in the form OpenablePathOf gives
// it), or by `name` (taken by its length, never rewritten) below the open folder `parent`. Empty with
// the Win32 error when it cannot be opened or is not a folder on a disk.
FileHandle OpenFolderByPath(const wchar_t* path, DWORD& error);
FileHandle OpenFolderAt(HANDLE parent, const std::wstring& name, DWORD& error);

// Backup rights: an administrator's scan enables SeBackupPrivilege, which grants every read right on
// any file or folder whatever its access list, but only to opens that say they are for backup
// (FILE_FLAG_BACKUP_SEMANTICS to CreateFileW). The privilege is in the process token, shared by every
// thread that does not impersonate, so this is a setting of the process, not of each thread.
void SetBackupReads(bool privilegeHeld);
bool BackupReadsHeld();
// The by-path opens for reading, each with the flags it is made with.
enum class ReadOpen {
    kContent,     // a file's content and facts (OpenDiskFile): FILE, CONTENTS, digests
    kIdentity,    // a file's or folder's identity, for its attributes only (ReadFileIdentity)
    kAttributes,  // a folder's attributes where GetFileAttributesW was refused (PathAttributes)
    kScript,      // a script the user names, read with the user's own rights and fetched if it must be
};
// What `open` passes to CreateFileW as flags, given whether the backup privilege is held. Without it
// every open is made as it always was; backup semantics also let CreateFileW open a folder, which the
// handle's own facts then refuse where a file is wanted.
DWORD ReadOpenFlags(ReadOpen open, bool backupRights);
// GetFileAttributesW for `path`, or, when that is refused and backup rights are held, the attributes
// read through an open for backup; INVALID_FILE_ATTRIBUTES when neither gives them.
DWORD PathAttributes(const wchar_t* path);
// Whether `path` names an existing folder.
bool DoesFolderExist(const wchar_t* path);

// An open file on a disk, with the facts its handle gave when it was opened.
struct DiskFile {
    FileHandle handle;
    BY_HANDLE_FILE_INFORMATION information = {};  // attributes, times, size, links; no volume or file index
    DWORD error = 0;  // without a handle: the open's system error, 0 for what is not a file on a disk

    explicit operator bool() const { return static_cast<bool>(handle); }
    uint64_t size() const {
        return (static_cast<uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    }
};
// Opens the file at `path` (in the form OpenablePathOf gives it) for reading, letting other handles read, write and
// delete it, and (but for a script) without recalling its content; an empty DiskFile for anything that is not a
// file on a disk.
DiskFile OpenDiskFile(const wchar_t* path, ReadOpen open = ReadOpen::kContent);
// OpenDiskFile for reading the content: also empty when the content is not on the disk. `attributes`,
// when the caller has them from an enumeration's find data, refuse such a file without opening it.
DiskFile OpenFileContent(const wchar_t* path, DWORD attributes = kUnknownAttributes);
// The same for `name` (by its length) below the open folder `parent`, opened with backup intent.
DiskFile OpenFileContentAt(HANDLE parent, const std::wstring& name, DWORD attributes = kUnknownAttributes);

// Reads up to `room` bytes at the current place into `buffer` and sets `*count` (0 at the end); false
// when the read fails.
using ChunkReader = std::function<bool(unsigned char* buffer, DWORD room, DWORD* count)>;
// Receives each piece that was read; answers false when it wants no more.
using ChunkTaker = std::function<bool(const unsigned char* bytes, DWORD count)>;

// ReadFile on `file`, which the caller keeps open while the reader is used.
ChunkReader HandleReader(HANDLE file);
// How a reading loop ended.
enum class ReadEnd {
    kWhole,   // `limit` bytes came, or the taker wanted no more
    kShort,   // the reader ended first: the file shrank since it was opened
    kFailed,  // a read failed
};
// Reads through `read` until `limit` bytes have come, the reader ends or the taker wants no more, in
// pieces of at most `chunkSize` bytes, all on this thread, and hands each piece to `take`. The pieces
// before a failed read or the reader's end were taken.
ReadEnd ReadChunks(const ChunkReader& read, uint64_t limit, DWORD chunkSize, const ChunkTaker& take);
