// DIR sections over a tree the tests make, with every option.
#include <gtest/gtest.h>

#include "directives/files/files.h"
#include "tests/directives/files/file_fixtures.h"
#include "tests/support/os_fixtures.h"
#include "tests/support/pools.h"
#include "tests/support/test_support.h"
#include "util/md5.h"

namespace {

// root: A.log (read-only), b.txt, c.LOG (hidden); Prog1\ (empty), Program\z.log, sub1\x.txt,
// Sub2\deep\y.log. Every file and folder carries the fixture instants.
class DirTree : public ::testing::Test {
protected:
    void SetUp() override {
        MakeFile(root / L"b.txt", "abc");
        MakeFile(root / L"A.log", "", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
        MakeFile(root / L"c.LOG", "12345", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
        for (const wchar_t* folder : {L"sub1", L"Sub2", L"Sub2\\deep", L"Prog1", L"Program"}) MakeFolder(root / folder);
        MakeFile(root / L"sub1\\x.txt", "x");
        MakeFile(root / L"Sub2\\deep\\y.log", "yy");
        MakeFile(root / L"Program\\z.log", "zzz");
        for (const wchar_t* folder : {L"Sub2\\deep", L"sub1", L"Sub2", L"Prog1", L"Program"}) {
            SetTimes(root / folder, FolderInstant());
        }
    }
    void TearDown() override { SetFileAttributesW((root / L"A.log").c_str(), FILE_ATTRIBUTE_NORMAL); }

    std::wstring Dir(const std::wstring& line) { return RunHandler(DirLook, line); }
    std::wstring TopFiles() {
        return L"\r\n---Files---\r\nA.log" + FileText(L"-ra---", 0) + L"\r\nb.txt" + FileText(L"--a---", 3) +
               L"\r\nc.LOG" + FileText(L"--ah--", 5);
    }
    std::wstring FolderBlock(const std::wstring& path) { return L"\r\n\r\n" + path + FolderText(); }
    // The sub-folder blocks of the whole tree, as sub mode writes them.
    std::wstring Tree() {
        return FolderBlock(root / L"Prog1") + FolderBlock(root / L"Program") + L"\r\nz.log" + FileText(L"--a---", 3) +
               FolderBlock(root / L"sub1") + L"\r\nx.txt" + FileText(L"--a---", 1) + FolderBlock(root / L"Sub2") +
               FolderBlock(root / L"Sub2\\deep") + L"\r\ny.log" + FileText(L"--a---", 2) + L"\r\n";
    }

    ScratchFolder root;
};

TEST_F(DirTree, PlainListingSortsFilesAndFoldersIgnoringCase) {
    EXPECT_EQ(Dir(root.path()), DirHeader(root.path(), L"(none)") + TopFiles() + L"\r\n\r\n---Folders---\r\nProg1" +
                                    FolderText() + L"\r\nProgram" + FolderText() + L"\r\nsub1" + FolderText() +
                                    L"\r\nSub2" + FolderText() + L"\r\n");
}

TEST_F(DirTree, SubModeWalksTheWholeTree) {
    EXPECT_EQ(Dir(root.path() + L" /sub"), DirHeader(root.path(), L"/sub") + TopFiles() + Tree());
    // nodirs yields to sub; nofiles only hides the top folder's own files.
    EXPECT_EQ(Dir(root.path() + L"  /S /nodirs"), DirHeader(root.path(), L"/S /nodirs") + TopFiles() + Tree());
    EXPECT_EQ(Dir(root.path() + L" /sub /nofiles"), DirHeader(root.path(), L"/sub /nofiles") + Tree());
    EXPECT_EQ(Dir(root / L"Prog1 /sub"),
              DirHeader(root / L"Prog1", L"/sub") + L"\r\n---Files---\r\nNone found.\r\n\r\nNo folders found.\r\n");
}

TEST_F(DirTree, NoDirsNoFilesAndEmptyParameters) {
    EXPECT_EQ(Dir(root.path() + L" /nodirs /nofiles"), DirHeader(root.path(), L"/nodirs /nofiles") + L"\r\n");
    EXPECT_EQ(Dir(root / L"Prog1 / /"), DirHeader(root / L"Prog1", L"(none)") +
                                            L"\r\n---Files---\r\nNone found.\r\n\r\n---Folders---\r\nNone found.\r\n");
    // Unknown tokens are shown but change nothing; "nofile" is the name pattern "ofile".
    EXPECT_EQ(Dir(root.path() + L" /nofile /xyz /nodirs"),
              DirHeader(root.path(), L"/nofile /xyz /nodirs") + L"\r\n---Files---\r\nNone found.\r\n");
}

TEST_F(DirTree, NamePatternAndDigestsApplyAtEveryDepth) {
    EXPECT_EQ(Dir(root.path() + L" /n*.log /md5 /nodirs"),
              DirHeader(root.path(), L"/n*.log /md5 /nodirs") + L"\r\n---Files---\r\nA.log" + FileText(L"-ra---", 0) +
                  L" " + kEmptyMd5 + L"\r\nc.LOG" + FileText(L"--ah--", 5) + L" " + ReferenceMD5("12345") + L"\r\n");
    EXPECT_EQ(Dir(root / L"Sub2 /sub /n*.log /md5"), DirHeader(root / L"Sub2", L"/sub /n*.log /md5") +
                                                         L"\r\n---Files---\r\nNone found." +
                                                         FolderBlock(root / L"Sub2\\deep") + L"\r\ny.log" +
                                                         FileText(L"--a---", 2) + L" " + ReferenceMD5("yy") + L"\r\n");
}

// Enough files that their digests are taken on other threads; the first file of each folder is large,
// so that the lines after it are finished before it, and every digest still ends its own line.
TEST(DirDigests, DigestsTakenOnOtherThreadsComeOutInTheWalksOrder) {
    ScratchFolder root;
    std::wstring expected = DirHeader(root.path(), L"/sub /md5") + L"\r\n---Files---\r\nNone found.";
    for (int f = 0; f < 3; ++f) {
        const std::wstring folder = root / (L"f" + std::to_wstring(f));
        MakeFolder(folder);
        expected += L"\r\n\r\n" + folder + FolderText();
        for (int i = 100; i < 160; ++i) {
            const std::wstring name = L"n" + std::to_wstring(i);
            const std::string bytes =
                i == 100 ? std::string(size_t{3} << 20, static_cast<char>('a' + f)) : std::to_string(f * 1000 + i);
            const std::wstring path = folder + L"\\" + name;
            MakeFile(path, bytes);
            expected += L"\r\n" + name + FileText(L"--a---", bytes.size()) + L" " + ReferenceMD5(bytes);
        }
        SetTimes(folder, FolderInstant());
    }
    EXPECT_EQ(RunHandler(DirLook, root.path() + L" /sub /md5"), expected + L"\r\n");
}

TEST_F(DirTree, AFifoIsListedButNeverRead) {
    // Made by another system with the fixture instant: Wine opens it as a pipe, a read would wait for ever.
    ASSERT_TRUE(MakeLinuxFifo(root / L"Prog1\\fifo"));
    ASSERT_TRUE(RunLinuxProgram("/usr/bin/touch",
                                "-m -d '2021-11-30 08:05:00 UTC' \"" + UnixPath(root / L"Prog1\\fifo") + "\""));
    MakeFile(root / L"Prog1\\plain", "abc");
    SetTimes(root / L"Prog1", FolderInstant());
    std::wstring report;
    EndsWithinOrStops("DIR of a FIFO", [&] { report = Dir(root / L"Prog1 /md5"); });
    EXPECT_EQ(report, DirHeader(root / L"Prog1", L"/md5") + L"\r\n---Files---\r\nfifo" + FileText(L"--a---", 0) +
                          L" (Unable to calculate MD5)\r\nplain" + FileText(L"--a---", 3) + L" " + kAbcMd5 +
                          L"\r\n\r\n---Folders---\r\nNone found.\r\n");
}

TEST_F(DirTree, TrailingBackslashesAndExpansion) {
    ScopedEnvironment variable(L"QF_DIR_ROOT", root.path().c_str());
    const std::wstring files = L"\r\n---Files---\r\nb.txt" + FileText(L"--a---", 3);
    EXPECT_EQ(Dir(L"  %QF_DIR_ROOT%\\   /nb.txt /nodirs"),
              DirHeader(root.path(), L"/nb.txt /nodirs") + files + L"\r\n");
    // noexpand keeps the backslash, and the digest path then holds two in a row (still readable).
    EXPECT_EQ(Dir(root.path() + L"\\ /noexpand /nb.txt /md5 /nodirs"),
              DirHeader(root.path() + L"\\", L"/noexpand /nb.txt /md5 /nodirs") + files + L" " + kAbcMd5 + L"\r\n");
    EXPECT_EQ(Dir(L"%QF_DIR_ROOT% /noexpand"), L"\r\n%QF_DIR_ROOT% - Unable to find folder.\r\n");
}

TEST_F(DirTree, MissingFoldersFilesAndEmptyPaths) {
    EXPECT_EQ(Dir(root / L"missing /sub"), L"\r\n" + root / L"missing - Unable to find folder.\r\n");
    EXPECT_EQ(Dir(root / L"b.txt"), L"\r\n" + root / L"b.txt - Unable to find folder.\r\n");
    EXPECT_EQ(Dir(L"   /sub"), L"\r\n - Unable to find folder.\r\n");
}

TEST_F(DirTree, FolderPatternGivesEachMatchItsOwnSection) {
    EXPECT_EQ(Dir(root.path() + L" /wProg* /md5"),
              DirHeader(root.path(), L"/wProg* /md5") + DirHeader(root / L"Prog1", L"/md5") +
                  L"\r\n---Files---\r\nNone found.\r\n\r\n---Folders---\r\nNone found.\r\n" +
                  DirHeader(root / L"Program", L"/md5") + L"\r\n---Files---\r\nz.log" + FileText(L"--a---", 3) + L" " +
                  ReferenceMD5("zzz") + L"\r\n\r\n---Folders---\r\nNone found.\r\n");
    EXPECT_EQ(Dir(root.path() + L" /w*S*2 /nofiles"), DirHeader(root.path(), L"/w*S*2 /nofiles") +
                                                          DirHeader(root / L"Sub2", L"/nofiles") +
                                                          L"\r\n\r\n---Folders---\r\ndeep" + FolderText() + L"\r\n");
    EXPECT_EQ(Dir(root.path() + L" /wnothing*"), DirHeader(root.path(), L"/wnothing*"));
}

TEST_F(DirTree, DateFilterKeepsFilesOnOrAfterTheReferenceDay) {
    // A file two days old, by the clock: kept by t5, dropped by t0 and t; the 2021 files never show.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER instant{{now.dwLowDateTime, now.dwHighDateTime}};
    instant.QuadPart -= 2ull * 24 * 3600 * 10000000;
    FILETIME recent{instant.LowPart, instant.HighPart};
    MakeFile(root / L"recent.log", "r");
    HANDLE file =
        CreateFileW((root / L"recent.log").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetFileTime(file, &recent, nullptr, &recent);
    CloseHandle(file);
    const std::wstring recentLine =
        L"\r\nrecent.log\t--a--- 1 bytes\t[" + TimeText(recent) + L"]\t[" + TimeText(recent) + L"]";
    EXPECT_EQ(Dir(root.path() + L" /t5 /nodirs"),
              DirHeader(root.path(), L"/t5 /nodirs") + L"\r\n---Files---" + recentLine + L"\r\n");
    EXPECT_EQ(Dir(root.path() + L" /t0 /nodirs"),
              DirHeader(root.path(), L"/t0 /nodirs") + L"\r\n---Files---\r\nNone found.\r\n");
    EXPECT_EQ(Dir(root.path() + L" /today /nodirs"),
              DirHeader(root.path(), L"/today /nodirs") + L"\r\n---Files---\r\nNone found.\r\n");
    EXPECT_EQ(Dir(root.path() + L" /t-3 /nodirs"),
              DirHeader(root.path(), L"/t-3 /nodirs") + L"\r\n---Files---\r\nNone found.\r\n");
    // The filter reaches into sub mode; the last t token wins.
    EXPECT_EQ(Dir(root.path() + L" /t0 /t100000 /sub /nofiles /n*.log"),
              DirHeader(root.path(), L"/t0 /t100000 /sub /nofiles /n*.log") + FolderBlock(root / L"Prog1") +
                  FolderBlock(root / L"Program") + L"\r\nz.log" + FileText(L"--a---", 3) + FolderBlock(root / L"sub1") +
                  FolderBlock(root / L"Sub2") + FolderBlock(root / L"Sub2\\deep") + L"\r\ny.log" +
                  FileText(L"--a---", 2) + L"\r\n");
}

TEST(DirLook, FolderPatternListsEachMatchByTheNameFound) {
    // Names a second reading of the line would change: a %...% that expands, a trailing blank that is
    // cut (made from the Linux side: Wine cannot make it).
    ScratchFolder root;
    const std::wstring percent = root / L"%SystemDrive%x";
    const std::wstring blank = root / L"blank ";
    MakeFolder(percent);
    MakeFile(percent + L"\\in.txt", "abc");
    const std::string blankLinux = UnixPath(root.path()) + "/blank ";
    ASSERT_TRUE(RunLinuxProgram("/bin/mkdir", "'" + blankLinux + "'"));
    ASSERT_NE(GetFileAttributesW((blank + L"\\").c_str()), INVALID_FILE_ATTRIBUTES);
    MakeFile(blank + L"\\x.log", "x");
    MakeFolder(blank + L"\\deeper");
    for (const std::wstring& folder : {percent, blank + L"\\deeper"}) SetTimes(folder, FolderInstant());

    EXPECT_EQ(RunHandler(DirLook, root.path() + L" /w* /md5 /nodirs"),
              DirHeader(root.path(), L"/w* /md5 /nodirs") + DirHeader(percent, L"/md5 /nodirs") +
                  L"\r\n---Files---\r\nin.txt" + FileText(L"--a---", 3) + L" " + kAbcMd5 + L"\r\n" +
                  DirHeader(blank, L"/md5 /nodirs") + L"\r\n---Files---\r\nx.log" + FileText(L"--a---", 1) + L" " +
                  ReferenceMD5("x") + L"\r\n");
    EXPECT_EQ(RunHandler(DirLook, root.path() + L" /wb* /sub /nofiles"),
              DirHeader(root.path(), L"/wb* /sub /nofiles") + DirHeader(blank, L"/sub /nofiles") + L"\r\n\r\n" + blank +
                  L"\\deeper" + FolderText() + L"\r\n");
    EXPECT_EQ(RunHandler(DirLook, root.path() + L" /w%*"),
              DirHeader(root.path(), L"/w%*") + DirHeader(percent, L"(none)") + L"\r\n---Files---\r\nin.txt" +
                  FileText(L"--a---", 3) + L"\r\n\r\n---Folders---\r\nNone found.\r\n");
    RunLinuxProgram("/bin/rm", "-rf '" + blankLinux + "'");
}

TEST(DirLook, SizesBeyondFourGigabytesAreShownWhole) {
    ScratchFolder root;
    MakeSizedFile(root / L"three", 3ull << 30);
    MakeSizedFile(root / L"five", (5ull << 30) + 3);
    EXPECT_EQ(RunHandler(DirLook, root.path() + L" /nodirs"),
              L"\r\n" + root.path() + L" - Parameters: \"/nodirs\"\r\n\r\n---Files---\r\nfive" +
                  FileText(L"--a---", 5368709123ull) + L"\r\nthree" + FileText(L"--a---", 3221225472ull) + L"\r\n");
}

TEST(DirLook, SlashStartsTheParametersEvenInsideAPath) {
    // C:/Windows names the folder C: with the folder pattern "indows", which the drive's root lacks.
    EXPECT_EQ(RunHandler(DirLook, L"C:/Windows"), L"\r\nC: - Parameters: \"/Windows\"\r\n");
}

}  // namespace
