// FILE sections on files the tests make: digest, times, size, attributes and version strings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "directives/files/files.h"
#include "tests/directives/files/file_fixtures.h"
#include "tests/support/test_support.h"
#include "util/handles.h"
#include "util/md5.h"
#include "util/version_record.h"

namespace {

// Everything a found file's section holds before its version lines.
std::wstring FoundHead(const std::wstring& path, const std::wstring& digest, unsigned long long size,
                       const wchar_t* attributes) {
    return L"\r\n" + path + L" - File found and opened.\r\nMD5: " + digest +
           L"\r\nCreated at 08:05 on 30/11/2021\r\nModified at 08:05 on 30/11/2021\r\nSize: " + std::to_wstring(size) +
           L" bytes\r\nAttributes: " + attributes + L"\r\n";
}

const wchar_t kNoVersion[] = L"No version information available.\r\n";

// A copy of one of the version-record DLLs built beside the tests, with the fixture times.
std::wstring CopyFixture(const ScratchFolder& folder, const wchar_t* name) {
    std::wstring copy = folder / name;
    EXPECT_TRUE(CopyFileW((ExecutableFolder() + L"\\" + name).c_str(), copy.c_str(), FALSE)) << Narrow(name);
    SetTimes(copy, FileInstant());
    SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_ARCHIVE);
    return copy;
}

TEST(FileLook, PlainFilesShowDigestTimesSizeAndAttributes) {
    ScratchFolder folder;
    MakeFile(folder / L"abc.txt", "abc", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    MakeFile(folder / L"empty", "", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(RunHandler(FileLook, folder / L"abc.txt"),
              FoundHead(folder / L"abc.txt", kAbcMd5, 3, L"--ahs-") + kNoVersion);
    EXPECT_EQ(RunHandler(FileLook, folder / L"empty"),
              FoundHead(folder / L"empty", kEmptyMd5, 0, L"-ra---") + kNoVersion);
    SetFileAttributesW((folder / L"empty").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(FileLook, PathsAreExpandedButNotTrimmed) {
    ScratchFolder folder;
    MakeFile(folder / L"abc.txt", "abc");
    ScopedEnvironment variable(L"QF_FILE_FOLDER", folder.path().c_str());
    EXPECT_EQ(RunHandler(FileLook, L"%QF_FILE_FOLDER%\\abc.txt"),
              FoundHead(folder / L"abc.txt", kAbcMd5, 3, L"--a---") + kNoVersion);
    // The line keeps its blanks: the system drops a trailing one when it opens the file, but the report
    // shows it; a leading one makes another path. An unknown variable stays as written.
    EXPECT_EQ(RunHandler(FileLook, folder / L"abc.txt "),
              FoundHead(folder / L"abc.txt ", kAbcMd5, 3, L"--a---") + kNoVersion);
    EXPECT_EQ(RunHandler(FileLook, L" " + folder / L"abc.txt"),
              L"\r\n " + folder / L"abc.txt - Unable to find/read file.\r\n");
    EXPECT_EQ(RunHandler(FileLook, L"%QF_NO_SUCH_VARIABLE%\\x"),
              L"\r\n%QF_NO_SUCH_VARIABLE%\\x - Unable to find/read file.\r\n");
}

TEST(FileLook, MissingFoldersAndLockedFilesCannotBeRead) {
    ScratchFolder folder;
    MakeFile(folder / L"locked", "x");
    EXPECT_EQ(RunHandler(FileLook, folder / L"missing"), L"\r\n" + folder / L"missing - Unable to find/read file.\r\n");
    EXPECT_EQ(RunHandler(FileLook, folder.path()), L"\r\n" + folder.path() + L" - Unable to find/read file.\r\n");
    HANDLE locked = CreateFileW((folder / L"locked").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    EXPECT_EQ(RunHandler(FileLook, folder / L"locked"), L"\r\n" + folder / L"locked - Unable to find/read file.\r\n");
    CloseHandle(locked);
}

TEST(FileLook, VersionStringsInTableOrderSkippingMissingOnes) {
    ScratchFolder folder;
    std::wstring path = CopyFixture(folder, L"qftest_version_full.dll");
    std::wstring report = RunHandler(FileLook, path);
    std::wstring head = FoundHead(path, ReferenceMD5(ReadFileBytes(path)), 0, L"--a---");
    // The size of a built DLL is whatever the linker made; the rest of the head is exact.
    ASSERT_EQ(report.compare(0, head.find(L"Size: "), head, 0, head.find(L"Size: ")), 0) << Narrow(report);
    size_t versionStart = report.find(L"Attributes: --a---\r\n");
    ASSERT_NE(versionStart, std::wstring::npos);
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
    EXPECT_NE(report.find(L"Size: " + std::to_wstring(data.nFileSizeLow) + L" bytes\r\n"), std::wstring::npos);
    EXPECT_EQ(report.substr(versionStart + 20),
              L"FileDescription: Quillfen test fixture\r\n"
              L"FileVersion: 1.2.3.4\r\n"
              L"ProductVersion: 5.6.7.8 beta\r\n"
              L"OriginalFilename: qftest_version_full.dll\r\n"
              L"InternalName: full\r\n"
              L"ProductName: Fixture Edition\r\n"
              L"LegalCopyright: (c) nobody\r\n"
              L"Comments: \r\n");
}

std::wstring VersionLines(const wchar_t* fixture) {
    ScratchFolder folder;
    std::wstring path = CopyFixture(folder, fixture);
    std::wstring report = RunHandler(FileLook, path);
    size_t start = report.find(L"Attributes: --a---\r\n");
    return start == std::wstring::npos ? report : report.substr(start + 20);
}

TEST(FileLook, RecordsWithoutTranslationFallBackToCommonTables) {
    EXPECT_EQ(VersionLines(L"qftest_version_untranslated.dll"),
              L"FileVersion: 2.0\r\nCompanyName: Untranslated Ltd\r\n");
    EXPECT_EQ(VersionLines(L"qftest_version_unknown.dll"), kNoVersion);
}

// The record read from the file's own bytes (what a scan with backup rights reads where GetFileVersionInfoW
// is refused) is the loader's; an image cut anywhere gives no record or that same one.
TEST(FileLook, TheVersionRecordFromTheFilesBytesIsTheLoadersOne) {
    const auto reader = [](const std::string& image) {
        return [&image](uint64_t offset, void* out, DWORD count) {
            if (offset > image.size() || image.size() - offset < count) return false;
            memcpy(out, image.data() + offset, count);
            return true;
        };
    };
    for (const wchar_t* fixture : {L"qftest_version_full.dll", L"qftest_version_untranslated.dll"}) {
        ScratchFolder folder;
        const std::wstring path = CopyFixture(folder, fixture);
        const std::string bytes = ReadFileBytes(path);
        const std::vector<BYTE> loaded = ReadVersionRecord(path.c_str());
        const std::vector<BYTE> parsed = VersionResourceOf(reader(bytes));
        ASSERT_FALSE(parsed.empty()) << Narrow(fixture);
        ASSERT_GE(loaded.size(), parsed.size());
        EXPECT_TRUE(std::equal(parsed.begin(), parsed.end(), loaded.begin())) << Narrow(fixture);
        for (size_t cut = 0; cut < bytes.size(); cut += 37) {
            const std::string part = bytes.substr(0, cut);
            const std::vector<BYTE> got = VersionResourceOf(reader(part));
            EXPECT_TRUE(got.empty() || got == parsed) << cut;
        }
    }
    EXPECT_TRUE(VersionResourceOf(reader(std::string(4096, 'M'))).empty());
}

TEST(FileLook, FilesThatOthersAreWritingAreShownWithTheirDigest) {
    ScratchFolder folder;
    MakeFile(folder / L"busy.log", "abc");
    FileHandle writer = HoldOpenForWriting(folder / L"busy.log");
    ASSERT_TRUE(writer);
    EXPECT_EQ(RunHandler(FileLook, folder / L"busy.log"),
              FoundHead(folder / L"busy.log", kAbcMd5, 3, L"--a---") + kNoVersion);
}

TEST(FileLook, ThingsThatAreNotFilesAreNeverRead) {
    ScratchFolder folder;
    NotFiles notFiles(folder.path());
    ASSERT_TRUE(notFiles.made());
    for (const std::wstring& path : notFiles.paths()) {
        std::wstring report;
        EndsWithinOrStops("FILE " + Narrow(path), [&] { report = RunHandler(FileLook, path); });
        EXPECT_EQ(report, L"\r\n" + path + L" - Unable to find/read file.\r\n");
    }
    EXPECT_FALSE(notFiles.PipeOpened());
}

}  // namespace
