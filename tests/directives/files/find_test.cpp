// FILEFIND and FOLDERFIND over the whole system drive, on uniquely named fixtures.
#include <gtest/gtest.h>

#include "directives/files/files.h"
#include "tests/directives/files/file_fixtures.h"
#include "tests/support/pools.h"
#include "tests/support/test_support.h"

namespace {

TEST(FileFind, FindsEveryMatchOnTheDriveSortedIgnoringCase) {
    const std::wstring stem = UniqueName(L"qffind");
    ScratchFolder folder;
    const std::wstring inRoot = SearchStartFolder() + L"\\" + stem + L"-root.dat";  // C:\name
    MakeFile(inRoot, "abc");
    MakeFolder(folder / L"sub");
    MakeFolder(folder / (stem + L"-folder.dat"));  // folders are never results
    MakeFile(folder / (stem + L"-b.dat"), "12345", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    MakeFile(folder / (L"sub\\" + stem + L"-A.DAT"), "", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    MakeFile(folder / (L"sub\\" + stem + L"-c.txt"), "no match");

    const std::wstring line = stem + L"-*.dat";
    std::wstring report = RunHandler(FileFind, line);
    DeleteFileW(inRoot.c_str());
    SetFileAttributesW((folder / (stem + L"-b.dat")).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(report, Searching(line) + inRoot + FileText(L"--a---", 3) + L" " + kAbcMd5 + L"\r\n" +
                          folder / (stem + L"-b.dat") + FileText(L"-ra---", 5) + L" " + ReferenceMD5("12345") +
                          L"\r\n" + folder / (L"sub\\" + stem + L"-A.DAT") + FileText(L"--ah--", 0) + L" " + kEmptyMd5 +
                          L"\r\n");
}

TEST(FileFind, NoMatchAndHeaderAsTyped) {
    const std::wstring stem = UniqueName(L"qfnone");
    ScratchFolder folder;
    MakeFolder(folder / (stem + L"-folder"));
    EXPECT_EQ(RunHandler(FileFind, stem + L"-folder"), Searching(stem + L"-folder") + L"No files found.\r\n");
    EXPECT_EQ(RunHandler(FileFind, L" " + stem + L"* "), Searching(L" " + stem + L"* ") + L"No files found.\r\n");
}

TEST(FileFind, UnreadableMatchesSayWhy) {
    const std::wstring stem = UniqueName(L"qflocked");
    ScratchFolder folder;
    MakeFile(folder / (stem + L".bin"), "x");
    HANDLE locked =
        CreateFileW((folder / (stem + L".bin")).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    std::wstring report = RunHandler(FileFind, stem + L".bin");
    CloseHandle(locked);
    EXPECT_EQ(report, Searching(stem + L".bin") + folder / (stem + L".bin") + FileText(L"--a---", 1) +
                          L" (Unable to calculate MD5)\r\n");
}

TEST(FolderFind, FindsNestedMatchesButNeverFiles) {
    const std::wstring stem = UniqueName(L"qffolder");
    ScratchFolder folder;
    MakeFolder(folder / (stem + L"-one"));
    MakeFolder(folder / (stem + L"-one\\" + stem + L"-TWO"));
    MakeFolder(folder / L"other");
    MakeFolder(folder / (L"other\\" + stem + L"-three"));
    MakeFile(folder / (stem + L"-file"), "f");
    for (const std::wstring& path : {folder / (stem + L"-one\\" + stem + L"-TWO"), folder / (stem + L"-one"),
                                     folder / (L"other\\" + stem + L"-three")}) {
        SetTimes(path, FolderInstant());
    }
    const std::wstring line = stem + L"-*";
    EXPECT_EQ(RunHandler(FolderFind, line), Searching(line) + folder / (L"other\\" + stem + L"-three") + FolderText() +
                                                L"\r\n" + folder / (stem + L"-one") + FolderText() + L"\r\n" +
                                                folder / (stem + L"-one\\" + stem + L"-TWO") + FolderText() + L"\r\n");
    EXPECT_EQ(RunHandler(FolderFind, stem + L"-file"), Searching(stem + L"-file") + L"No folders found.\r\n");
}

TEST(Searches, APatternWithABackslashOrSlashFindsNothing) {
    // folder\sub\stem-x.dat exists, and "sub\stem-x.dat" would match it inside each folder called sub.
    const std::wstring stem = UniqueName(L"qfslash");
    ScratchFolder folder;
    MakeFolder(folder / L"sub");
    MakeFolder(folder / (L"sub\\" + stem + L"-dir"));
    MakeFile(folder / (L"sub\\" + stem + L"-x.dat"), "x");
    for (const std::wstring& line : {L"sub\\" + stem + L"-x.dat", L"sub/" + stem + L"-x.dat", L"\\" + stem + L"*",
                                     L"*/" + stem + L"*", folder / (L"sub\\" + stem + L"-x.dat")}) {
        EXPECT_EQ(RunHandler(FileFind, line), Searching(line) + L"No files found.\r\n") << Narrow(line);
    }
    for (const std::wstring& line : {L"sub\\" + stem + L"-dir", L"sub/" + stem + L"-dir", stem + L"-dir\\"}) {
        EXPECT_EQ(RunHandler(FolderFind, line), Searching(line) + L"No folders found.\r\n") << Narrow(line);
    }
}

TEST(Searches, StartAtTheSystemDriveWithoutBackslash) {
    ScopedEnvironment drive(L"SystemDrive", L"C:\\");
    EXPECT_EQ(SearchStartFolder(), L"C:");
}

}  // namespace
