// Opening files for reading: the rules on path texts, handle facts and attribute words, the open
// itself on things that are not files, and the bounded reading loop.
#include "util/disk_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/os_fixtures.h"
#include "tests/support/test_support.h"
#include "util/test_hooks.h"

namespace {

TEST(DiskFile, DevicePathsAreKnownFromTheirTextAlone) {
    struct Case {
        const wchar_t* path;
        bool device;
    };
    const Case cases[] = {
        // Plain files, relative or absolute, and names that only look like devices.
        {L"C:\\Windows\\notepad.exe", false},
        {L"notes.txt", false},
        {L"C:\\logs\\console.log", false},
        {L"C:\\logs\\com10", false},
        {L"C:\\logs\\com0.txt", false},
        {L"C:\\logs\\lpt", false},
        {L"C:\\logs\\ nul", false},
        {L"C:\\nul\\file.txt", false},
        {L"C:\\logs\\", false},
        {L"C:", false},
        {L"", false},
        // DOS device names as the last part, any case, extension, trailing dots and blanks, any folder.
        {L"COM1", true},
        {L"com9", true},
        {L"C:\\any\\folder\\nul.txt", true},
        {L"C:\\x\\Con", true},
        {L"prn.tar.gz", true},
        {L"aux .log", true},
        {L"NUL...", true},
        {L"lpt1  ", true},
        {L"C:com1", true},
        {L"C:/x/lpt3.dat", true},
        {L"nul:", true},
        {L"COM\u00B9", true},
        {L"lpt\u00B2.txt", true},
        {L"COM\u00B3", true},
        {L"CONIN$", true},
        {L"conout$", true},
        // The device namespace, with either slash.
        {L"\\\\.\\C:", true},
        {L"\\\\.\\PhysicalDrive0", true},
        {L"\\\\.\\pipe\\anything", true},
        {L"//./COM1", true},
        {L"\\\\.", true},
        {L"//?/C:/file.txt", true},
        // Verbatim paths: a drive or UNC path is a file, with no name rewritten; all else is a device.
        {L"\\\\?\\C:\\Windows\\notepad.exe", false},
        {L"\\\\?\\c:\\folder\\com1.log", false},
        {L"\\\\?\\C:\\folder\\nul", false},
        {L"\\\\?\\UNC\\server\\share\\file", false},
        {L"\\??\\C:\\file.txt", false},
        {L"\\\\?\\C:", true},
        // Volumes without a letter and shadow copies hold files like a drive; the handle decides.
        {L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\x", false},
        {L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy12\\Windows\\notepad.exe", false},
        {L"\\??\\globalroot\\device\\harddiskvolumeshadowcopy3\\", false},
        {L"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\x", false},
        // The volume device itself, other devices, and names that only look like a volume's.
        {L"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}", true},
        {L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy3", true},
        {L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy\\x", true},
        {L"\\\\?\\GLOBALROOT\\Device\\Harddisk0\\Partition1\\x", true},
        {L"\\\\?\\GLOBALROOT\\Device\\NamedPipe\\x", true},
        {L"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdeg}\\x", true},
        {L"\\\\?\\Volume{0123456789ab-cdef-0123-456789abcdef}\\x", true},
        {L"\\\\.\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\x", true},
        {L"\\\\?\\pipe\\x", true},
        {L"\\??\\PhysicalDrive0", true},
        {L"\\\\?\\UNC\\server\\pipe\\x", true},
        // UNC: the server resolves the names, but its pipe and mailslot shares are not files.
        {L"\\\\server\\share\\file.txt", false},
        {L"\\\\server\\share\\nul", false},
        {L"\\\\server\\pipe\\x", true},
        {L"\\\\localhost\\PIPE", true},
        {L"//server/mailslot/x", true},
    };
    for (const Case& c : cases) EXPECT_EQ(IsDevicePath(c.path), c.device) << Narrow(c.path);
}

TEST(DiskFile, OnlyAHandleOfADiskFileWithItsInformationPasses) {
    struct Case {
        DWORD type;
        bool information;
        DWORD attributes;
        bool disk;
    };
    const Case cases[] = {
        {FILE_TYPE_DISK, true, FILE_ATTRIBUTE_ARCHIVE, true},
        {FILE_TYPE_DISK, true, FILE_ATTRIBUTE_NORMAL, true},
        {FILE_TYPE_DISK, true, 0x00400420, true},  // cloud-only, refused by the content rule, not this one
        {FILE_TYPE_DISK, true, FILE_ATTRIBUTE_DIRECTORY, false},
        {FILE_TYPE_DISK, true, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, false},
        {FILE_TYPE_DISK, true, FILE_ATTRIBUTE_DEVICE, false},
        {FILE_TYPE_DISK, false, 0, false},  // a volume or drive opened by its device name
        {FILE_TYPE_PIPE, true, FILE_ATTRIBUTE_NORMAL, false},
        {FILE_TYPE_PIPE, false, 0, false},  // a FIFO of another system, under Wine
        {FILE_TYPE_CHAR, false, 0, false},  // NUL, a console, a serial port
        {FILE_TYPE_UNKNOWN, false, 0, false},
        {FILE_TYPE_REMOTE, true, FILE_ATTRIBUTE_ARCHIVE, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsDiskFileHandle(c.type, c.information, c.attributes), c.disk)
            << c.type << " " << c.information << " " << std::hex << c.attributes;
    }
}

TEST(DiskFile, ContentThatWindowsWouldRecallIsKnownByItsAttributes) {
    constexpr AttributeSource kFind = AttributeSource::kFindData;
    constexpr AttributeSource kHandle = AttributeSource::kHandle;
    struct Case {
        DWORD attributes;
        AttributeSource source;
        bool recalled;
    };
    const Case cases[] = {
        {0x00400420, kFind, true},  // OneDrive online-only: RECALL_ON_DATA_ACCESS, reparse point, archive
        {0x00400420, kHandle, true},
        {0x00501620, kFind, true},     // the same, unpinned, offline and sparse
        {0x00040020, kFind, true},     // RECALL_ON_OPEN, which only find data carries
        {0x00040020, kHandle, false},  // from a handle the bit is FILE_ATTRIBUTE_EA: extended attributes
        {0x00040021, kHandle, false},
        {0x00001020, kFind, true},  // OFFLINE (remote storage)
        {0x00001020, kHandle, true},
        {0x00000020, kFind, false},
        {0x00000080, kHandle, false},
        {0x00000620, kFind, false},    // a placeholder already downloaded: sparse reparse point
        {0x00080620, kFind, false},    // pinned, downloaded
        {0x00100020, kHandle, false},  // unpinned but still here
        {kUnknownAttributes, kFind, false},
        {kUnknownAttributes, kHandle, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsRecalledOnRead(c.attributes, c.source), c.recalled)
            << std::hex << c.attributes << (c.source == kFind ? " find" : " handle");
    }
}

// Wine 8's ntdll has the query but not the call that sets the mode: there nothing is asked; where the
// call exists, the process sees placeholders as they are afterwards.
TEST(DiskFile, PlaceholdersAreAskedForExposedWhereWindowsHasTheCall) {
    using QueryModeFn = CHAR(NTAPI*)();
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const bool callExists = GetProcAddress(ntdll, "RtlSetProcessPlaceholderCompatibilityMode") != nullptr;
    const auto query = reinterpret_cast<QueryModeFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlQueryProcessPlaceholderCompatibilityMode")));
    EXPECT_EQ(ExposePlaceholders(), callExists);
    if (callExists && query != nullptr) {
        EXPECT_EQ(query(), 2);  // PHCM_EXPOSE_PLACEHOLDERS
    }
}

TEST(DiskFile, OpensFilesThatOthersAreWritingButNothingThatIsNotAFile) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"log.txt", "12345");
    FileHandle writer = HoldOpenForWriting(folder / L"log.txt");
    ASSERT_TRUE(writer);
    DiskFile file = OpenDiskFile((folder / L"log.txt").c_str());
    ASSERT_TRUE(file) << GetLastError();
    EXPECT_EQ(file.size(), 5u);
    EXPECT_EQ(file.information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);

    NotFiles notFiles(folder.path());
    ASSERT_TRUE(notFiles.made());
    std::vector<std::wstring> paths = notFiles.paths();
    paths.insert(paths.end(), {folder.path(), folder / L"missing"});
    // Opened for backup as an administrator's scan opens them, a folder or a device still is no file.
    const bool held = BackupReadsHeld();
    for (bool backup : {false, true}) {
        SetBackupReads(backup);
        EXPECT_TRUE(OpenDiskFile((folder / L"log.txt").c_str())) << backup;
        for (const std::wstring& path : paths) {
            EndsWithinOrStops("opening " + Narrow(path), [&] {
                EXPECT_FALSE(OpenDiskFile(path.c_str())) << Narrow(path) << " " << backup;
                EXPECT_FALSE(OpenFileContent(path.c_str())) << Narrow(path) << " " << backup;
            });
        }
    }
    SetBackupReads(held);
    EXPECT_FALSE(notFiles.PipeOpened());
}

// Only an open for backup carries the privilege past an access list; without the privilege every open
// is made as before.
TEST(DiskFile, OpensForReadingAskForBackupWhereThePrivilegeIsHeld) {
    const DWORD content = FILE_FLAG_OPEN_NO_RECALL | FILE_FLAG_SEQUENTIAL_SCAN;
    const struct {
        ReadOpen open;
        bool backupRights;
        DWORD flags;
    } rows[] = {
        {ReadOpen::kContent, false, content},
        {ReadOpen::kContent, true, content | FILE_FLAG_BACKUP_SEMANTICS},
        // A folder opens only with the flag, privilege or not.
        {ReadOpen::kIdentity, false, FILE_FLAG_BACKUP_SEMANTICS},
        {ReadOpen::kIdentity, true, FILE_FLAG_BACKUP_SEMANTICS},
        {ReadOpen::kAttributes, true, FILE_FLAG_BACKUP_SEMANTICS},
        // A script is read with the user's own rights, and fetched from the cloud if it must be.
        {ReadOpen::kScript, true, FILE_ATTRIBUTE_NORMAL},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ReadOpenFlags(row.open, row.backupRights), row.flags)
            << static_cast<int>(row.open) << row.backupRights;
    }
}

// Wine opens no volume path, but whether the open is tried shows what the path's text decided.
TEST(DiskFile, DoesFolderExistOnlyForAFolder) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"file.txt", "x");
    EXPECT_TRUE(DoesFolderExist(folder.path().c_str()));
    EXPECT_FALSE(DoesFolderExist((folder / L"file.txt").c_str()));
    EXPECT_FALSE(DoesFolderExist((folder / L"missing").c_str()));
}

TEST(DiskFile, AFileOnAVolumeWithoutALetterIsOpenedAndTheVolumeItselfIsNot) {
    wchar_t volume[MAX_PATH] = {};
    ASSERT_TRUE(GetVolumeNameForVolumeMountPointW(L"C:\\", volume, MAX_PATH)) << GetLastError();
    static int opens = 0;
    opens = 0;
    WatchOpens([] { ++opens; });
    EXPECT_FALSE(OpenDiskFile((std::wstring(volume) + L"windows\\notepad.exe").c_str()));
    EXPECT_EQ(opens, 1);
    std::wstring device(volume);
    device.pop_back();  // "\\?\Volume{...}": the volume device
    EXPECT_FALSE(OpenDiskFile(device.c_str()));
    EXPECT_EQ(opens, 1);
    WatchOpens(nullptr);
}

TEST(DiskFile, OpenFileContentRefusesRecalledAttributesWithoutOpening) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"here.txt", "abc");
    // The file is plain: only the attribute word the caller passes can refuse it.
    EXPECT_TRUE(OpenFileContent((folder / L"here.txt").c_str()));
    EXPECT_TRUE(OpenFileContent((folder / L"here.txt").c_str(), 0x20));
    EXPECT_FALSE(OpenFileContent((folder / L"here.txt").c_str(), 0x00400420));
    EXPECT_FALSE(OpenFileContent((folder / L"here.txt").c_str(), 0x1020));
    // A file held without sharing would fail to open: a refused word never gets as far.
    FileHandle exclusive(
        CreateFileW((folder / L"here.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(exclusive);
    SetLastError(0);
    EXPECT_FALSE(OpenFileContent((folder / L"here.txt").c_str(), 0x00040020));
    EXPECT_EQ(GetLastError(), 0u) << "an open was tried";
}

// ReFS gives 128-bit ids whose low 64 bits (the file index) may repeat; NTFS gives the index in the low
// 8 bytes and the volume's whole 64-bit serial, whose low 32 bits are the index query's serial.
TEST(FileIdentities, WideIdsDecideAndAnIndexIsComparedByWhatBothHold) {
    const auto wide = [](ULONGLONG volume, uint64_t low, uint64_t high) {
        FileIdRecord record = {volume, {}};
        for (int i = 0; i < 8; ++i) {
            record.FileId[i] = static_cast<BYTE>(low >> (8 * i));
            record.FileId[8 + i] = static_cast<BYTE>(high >> (8 * i));
        }
        return IdentityOf(record);
    };
    const auto index = [](DWORD volume, uint64_t fileIndex) {
        BY_HANDLE_FILE_INFORMATION information = {};
        information.dwVolumeSerialNumber = volume;
        information.nFileIndexHigh = static_cast<DWORD>(fileIndex >> 32);
        information.nFileIndexLow = static_cast<DWORD>(fileIndex);
        return IdentityOf(information);
    };
    const struct {
        FileIdentity one;
        FileIdentity other;
        bool same;
    } cases[] = {
        {wide(0x1122334455667788, 7, 0x99), wide(0x1122334455667788, 7, 0x99), true},
        {wide(0x1122334455667788, 7, 0x99), wide(0x1122334455667788, 7, 0x98), false},  // ReFS: same low half
        {wide(0x1122334455667788, 7, 0), wide(0x1122334455667789, 7, 0), false},
        {wide(0xAA22334455667788, 7, 0), wide(0x1122334455667788, 7, 0), false},           // the serial's high half
        {wide(0x1122334455667788, 0x100000002, 0), index(0x55667788, 0x100000002), true},  // NTFS, both ways
        {index(0x55667788, 0x100000002), wide(0x1122334455667788, 0x100000002, 0), true},
        {wide(0x1122334455667788, 7, 1), index(0x55667788, 7), false},  // a wide id the index cannot hold
        {wide(0x1122334455667788, 7, 0), index(0x55667789, 7), false},
        {index(0x1234, 0x100000002), index(0x1234, 0x100000002), true},
        {index(0x1234, 0x100000002), index(0x1234, 0x000000002), false},
        {index(0x1234, 2), index(0x1235, 2), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.one == c.other, c.same) << std::hex << c.one.volume << " " << c.one.idHigh << ":" << c.one.idLow
                                            << " / " << c.other.volume << " " << c.other.idHigh << ":" << c.other.idLow;
    }
    EXPECT_FALSE(HasWideIdentity(FileIdRecord{0x1122334455667788, {}}));  // no 128-bit ids: fall back
    EXPECT_TRUE(HasWideIdentity(FileIdRecord{0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}}));
}

TEST(FileIdentities, TheWideIdOfAFileIsItsIndexWhereTheFileSystemHasBoth) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"a.txt", "a");
    WriteFileBytes(folder / L"b.txt", "b");
    FileIdentity a;
    FileIdentity b;
    ASSERT_TRUE(ReadFileIdentity((folder / L"a.txt").c_str(), a));
    ASSERT_TRUE(ReadFileIdentity((folder / L"b.txt").c_str(), b));
    EXPECT_TRUE(a.wide);  // Wine answers FileIdInfo as NTFS does
    EXPECT_FALSE(a == b);
    FileHandle handle(CreateFileW((folder / L"a.txt").c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    ASSERT_TRUE(GetFileInformationByHandle(handle.get(), &information));
    EXPECT_TRUE(a == IdentityOf(information));
    FileIdentity folderIdentity;
    EXPECT_TRUE(ReadFileIdentity(folder.path().c_str(), folderIdentity));
    EXPECT_FALSE(ReadFileIdentity(L"NUL", folderIdentity));  // a device is never opened for it
}

TEST(DiskFile, ReadChunksStopsAtTheLimitTheEndTheFirstFailureOrWhenTheTakerHasEnough) {
    const std::string bytes = "0123456789abcdefghij";
    constexpr size_t kAll = std::string::npos;
    struct Case {
        size_t piece;
        size_t failAt;
        uint64_t limit;
        DWORD chunk;
        size_t takeAtMost;  // the taker wants no more once it has this many bytes
        ReadEnd end;
        std::string taken;
    };
    const Case cases[] = {
        {100, kAll, 1000, 8, kAll, ReadEnd::kShort, bytes},       // the file shrank below its size at the open
        {3, kAll, 20, 64, kAll, ReadEnd::kWhole, bytes},          // short reads add up
        {100, kAll, 7, 64, kAll, ReadEnd::kWhole, "0123456"},     // the limit cuts the last read
        {100, kAll, 0, 64, kAll, ReadEnd::kWhole, ""},            // nothing asked, nothing read
        {5, 10, 1000, 64, kAll, ReadEnd::kFailed, "0123456789"},  // fails in the middle
        {5, 0, 1000, 64, kAll, ReadEnd::kFailed, ""},             // fails at once
        {5, 20, 1000, 64, kAll, ReadEnd::kFailed, bytes},         // fails where the end would come
        {100, kAll, 20, 1, kAll, ReadEnd::kWhole, bytes},         // one byte at a time
        {4, 8, 20, 4, 4, ReadEnd::kWhole, "0123"},                // enough before the failure: never read
        {4, kAll, 20, 4, 0, ReadEnd::kWhole, "0123"},             // the first piece is always taken
    };
    for (const Case& c : cases) {
        std::string taken;
        const ReadEnd end = ReadChunks(PieceReader(bytes, c.piece, c.failAt), c.limit, c.chunk,
                                       [&](const unsigned char* data, DWORD count) {
                                           EXPECT_LE(count, c.chunk);
                                           taken.append(reinterpret_cast<const char*>(data), count);
                                           return taken.size() < c.takeAtMost;
                                       });
        EXPECT_EQ(end, c.end) << c.piece << " " << c.failAt << " " << c.limit;
        EXPECT_EQ(taken, c.taken) << c.piece << " " << c.failAt << " " << c.limit;
    }
    // A source that never ends (a file that keeps growing) stops at the limit; one that claims more than
    // the room it was given is a failure.
    uint64_t total = 0;
    auto endless = [](unsigned char* buffer, DWORD room, DWORD* count) {
        memset(buffer, 'x', room);
        *count = room;
        return true;
    };
    EXPECT_EQ(ReadChunks(endless, 1000000, 4096,
                         [&](const unsigned char*, DWORD count) {
                             total += count;
                             return true;
                         }),
              ReadEnd::kWhole);
    EXPECT_EQ(total, 1000000u);
    auto boastful = [](unsigned char*, DWORD room, DWORD* count) {
        *count = room + 1;
        return true;
    };
    EXPECT_EQ(ReadChunks(boastful, 100, 10,
                         [](const unsigned char*, DWORD) {
                             ADD_FAILURE() << "taken";
                             return true;
                         }),
              ReadEnd::kFailed);
}

}  // namespace
