// The few calls of the native file API that a walk needs and Win32 has no counterpart for: opening a
// name relative to an open folder (so that its cost does not depend on how deep the folder lies, and
// the name is taken by its length, never rewritten) and listing a folder from its own handle.
// Resolved from ntdll at run time, as the native registry calls are.
#pragma once

#include <windows.h>

#include "util/native_registry.h"

// IO_STATUS_BLOCK.
struct NativeIoStatus {
    union {
        LONG Status;
        PVOID Pointer;
    };
    ULONG_PTR Information;
};

// NtOpenFile's options.
constexpr ULONG kFileDirectoryFile = 0x00000001;
constexpr ULONG kFileSequentialOnly = 0x00000004;
constexpr ULONG kFileSynchronousIoNonAlert = 0x00000020;
constexpr ULONG kFileNonDirectoryFile = 0x00000040;
constexpr ULONG kFileOpenForBackupIntent = 0x00004000;
constexpr ULONG kFileOpenNoRecall = 0x00400000;

// Directory information classes: FILE_FULL_DIR_INFORMATION and FILE_BOTH_DIR_INFORMATION (the latter
// with the short name).
constexpr int kFileFullDirectoryInformation = 2;
constexpr int kFileBothDirectoryInformation = 3;

constexpr LONG kStatusNoMoreFiles = static_cast<LONG>(0x80000006);
constexpr LONG kStatusNoSuchFile = static_cast<LONG>(0xC000000F);

// The head both records share; FileNameLength is in bytes, and for a reparse point EaSize holds its tag.
struct NativeDirRecord {
    ULONG NextEntryOffset;
    ULONG FileIndex;
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    LARGE_INTEGER EndOfFile;
    LARGE_INTEGER AllocationSize;
    ULONG FileAttributes;
    ULONG FileNameLength;
    ULONG EaSize;
};
// Where the name starts in each class, and the short name (ShortNameLength, one byte, in bytes; then 12
// characters) of the FILE_BOTH_DIR_INFORMATION record.
constexpr size_t kFullDirNameOffset = 68;
constexpr size_t kBothDirShortLengthOffset = 68;
constexpr size_t kBothDirShortNameOffset = 70;
constexpr size_t kBothDirNameOffset = 94;

struct NativeFiles {
    LONG(WINAPI* openFile)
    (HANDLE* file, ACCESS_MASK access, NativeAttributes* attributes, NativeIoStatus* io, ULONG share, ULONG options);
    LONG(WINAPI* queryDirectory)
    (HANDLE folder, HANDLE event, void* apc, void* apcContext, NativeIoStatus* io, void* buffer, ULONG size,
     int infoClass, BOOLEAN single, NativeName* mask, BOOLEAN restart);
    ULONG(WINAPI* statusToError)(LONG status);
};

// The calls, looked up once; a call ntdll lacks stays null.
inline const NativeFiles& NativeFileCalls() {
    static const NativeFiles calls = [] {
        NativeFiles found{};
        FindNtdllCall(found.openFile, "NtOpenFile");
        FindNtdllCall(found.queryDirectory, "NtQueryDirectoryFile");
        FindNtdllCall(found.statusToError, "RtlNtStatusToDosError");
        return found;
    }();
    return calls;
}

// Whether relative opens and handle listings can be made at all.
inline bool HaveNativeFileCalls() {
    const NativeFiles& calls = NativeFileCalls();
    return calls.openFile != nullptr && calls.queryDirectory != nullptr && calls.statusToError != nullptr;
}

// The Win32 error of a native status (0 for success).
inline DWORD NativeError(LONG status) {
    if (status >= 0) return ERROR_SUCCESS;
    const NativeFiles& calls = NativeFileCalls();
    return calls.statusToError != nullptr ? calls.statusToError(status) : ERROR_GEN_FAILURE;
}
