// Paths built from an enumeration are opened in their \\?\ form: names Win32 would rewrite (a
// trailing dot or blank, device names) are read as they are, while the typed part keeps its meaning.
#include <gtest/gtest.h>

#include <vector>

#include "directives/files/files.h"
#include "tests/directives/files/file_fixtures.h"
#include "tests/support/os_fixtures.h"
#include "tests/support/pools.h"
#include "tests/support/test_support.h"

namespace {

TEST(PathForms, FullPathsTakeTheirExtendedFormAndNamesAreAppendedAsSpelt) {
    const struct {
        const wchar_t* full;
        const wchar_t* extended;
    } cases[] = {
        {L"C:\\x\\", L"\\\\?\\C:\\x\\"},
        {L"C:\\", L"\\\\?\\C:\\"},  // the root keeps its backslash: \\?\C: would name the volume
        {L"d:\\a.\\b \\", L"\\\\?\\d:\\a.\\b \\"},
        {L"\\\\server\\share\\x\\", L"\\\\?\\UNC\\server\\share\\x\\"},
        {L"\\\\server\\share\\", L"\\\\?\\UNC\\server\\share\\"},
        {L"\\\\?\\C:\\x.\\", L"\\\\?\\C:\\x.\\"},
        {L"\\\\?\\UNC\\server\\share\\", L"\\\\?\\UNC\\server\\share\\"},
        {L"\\\\?\\Volume{0b1e}\\", L"\\\\?\\Volume{0b1e}\\"},
        {L"\\??\\C:\\x\\", L"\\??\\C:\\x\\"},
        {L"\\\\.\\C:\\x\\", L"\\\\?\\C:\\x\\"},
        {L"\\\\.\\pipe\\", L"\\\\?\\pipe\\"},
        // Not absolute: nothing to make literal.
        {L"x\\y\\", L"x\\y\\"},
        {L"C:x\\", L"C:x\\"},
        {L"\\x\\", L"\\x\\"},
        {L"C:", L"C:"},
        {L"", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(ExtendedLengthPath(c.full), c.extended) << Narrow(c.full);

    EXPECT_EQ(ChildPath(L"\\\\?\\C:\\", L"a."), L"\\\\?\\C:\\a.");
    EXPECT_EQ(ChildPath(L"\\\\?\\C:\\x\\", L"name "), L"\\\\?\\C:\\x\\name ");
    EXPECT_EQ(ChildPath(L"\\\\?\\UNC\\s\\share\\x", L"com1.log"), L"\\\\?\\UNC\\s\\share\\x\\com1.log");
}

TEST(PathForms, TypedFoldersAreMadeAbsoluteByThePlatformFirst) {
    ScratchFolder folder;
    wchar_t saved[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.path().c_str()));
    const std::wstring here = Extended(folder.path());
    const wchar_t drive[] = {folder.path()[0], L':', L'\0'};
    const struct {
        std::wstring typed;
        std::wstring open;
    } cases[] = {
        {L"sub", here + L"\\sub\\"},
        {L"sub\\..\\other\\.", here + L"\\other\\"},
        {folder.path() + L"\\x\\", here + L"\\x\\"},
        {folder.path() + L"\\x\\\\y", here + L"\\x\\y\\"},
        {drive, Extended(drive) + L"\\"},  // what folder\* names: the drive's root
        {std::wstring(drive) + L"\\", Extended(drive) + L"\\"},
        {L"", Extended(drive) + L"\\"},
        {L"\\\\server\\share\\x", L"\\\\?\\UNC\\server\\share\\x\\"},
        {L"\\\\.\\C:\\x\\..\\y", L"\\\\?\\C:\\y\\"},
        {L"\\\\?\\C:\\a.\\..", L"\\\\?\\C:\\a.\\..\\"},  // taken as typed
        {L"\\??\\C:\\t", L"\\??\\C:\\t\\"},              // not C:\??\C:\t, on the current drive, as the system takes it
    };
    for (const auto& c : cases) EXPECT_EQ(FolderOpenPath(c.typed), c.open) << Narrow(c.typed);
    SetCurrentDirectoryW(saved);
}

// The digests of the bytes the fixtures write, as a listing shows them after a blank.
const std::wstring kPlainMd5 = L" " + ReferenceMD5("plain");
const std::wstring kDotMd5 = L" " + ReferenceMD5("dot");
const std::wstring kBlankMd5 = L" " + ReferenceMD5("blank");
const std::wstring kSubMd5 = L" " + ReferenceMD5("in sub");
const std::wstring kSubDotMd5 = L" " + ReferenceMD5("in sub dot");
const std::wstring kDeviceMd5 = L" " + ReferenceMD5("device");

// root: a, a. and "b " (files), sub\in.txt, sub.\in.txt, sub.\<stem>.log and
// "name "\<stem>deep.\<stem>.txt, all made from the Linux side, the fixture times set through \\?\.
class RewrittenNames : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(entries.made());
        for (const std::wstring& file : std::vector<std::wstring>{L"a", L"a.", L"b ", L"sub\\in.txt", L"sub.\\in.txt",
                                                                  L"sub.\\" + log, deep + L"\\" + txt}) {
            SetTimes(Extended(root / file), FileInstant());
        }
        for (const std::wstring& folder : std::vector<std::wstring>{L"sub", L"sub.", L"name ", deep}) {
            SetTimes(Extended(root / folder), FolderInstant());
        }
    }

    ScratchFolder root;
    const std::wstring stem = UniqueName(L"qfnames");
    const std::wstring log = stem + L".log";
    const std::wstring txt = stem + L".txt";
    const std::wstring deep = L"name \\" + stem + L"deep.";
    LinuxEntries entries{root.path(),
                         {{"a", "plain"},
                          {"a.", "dot"},
                          {"b ", "blank"},
                          {"sub/", ""},
                          {"sub/in.txt", "in sub"},
                          {"sub./", ""},
                          {"sub./in.txt", "in sub dot"},
                          {"sub./" + Narrow(log), "dot"},
                          {"name /", ""},
                          {"name /" + Narrow(stem) + "deep./", ""},
                          {"name /" + Narrow(stem) + "deep./" + Narrow(txt), "plain"}}};
};

TEST_F(RewrittenNames, DirDigestsTheFileFoundAndEntersEveryFolder) {
    EXPECT_EQ(RunHandler(DirLook, root.path() + L" /md5 /nodirs"),
              DirHeader(root.path(), L"/md5 /nodirs") + L"\r\n---Files---\r\na" + FileText(L"--a---", 5) + kPlainMd5 +
                  L"\r\na." + FileText(L"--a---", 3) + kDotMd5 + L"\r\nb " + FileText(L"--a---", 5) + kBlankMd5 +
                  L"\r\n");
    EXPECT_EQ(RunHandler(DirLook, root.path() + L" /sub /md5 /nofiles"),
              DirHeader(root.path(), L"/sub /md5 /nofiles") + L"\r\n\r\n" + root / L"name " + FolderText() +
                  L"\r\n\r\n" + root / deep + FolderText() + L"\r\n" + txt + FileText(L"--a---", 5) + kPlainMd5 +
                  L"\r\n\r\n" + root / L"sub" + FolderText() + L"\r\nin.txt" + FileText(L"--a---", 6) + kSubMd5 +
                  L"\r\n\r\n" + root / L"sub." + FolderText() + L"\r\nin.txt" + FileText(L"--a---", 10) + kSubDotMd5 +
                  L"\r\n" + log + FileText(L"--a---", 3) + kDotMd5 + L"\r\n");
}

TEST_F(RewrittenNames, FolderPatternChecksAndListsEachMatchAsFound) {
    const std::wstring noFolders = L"\r\n\r\n---Folders---\r\nNone found.\r\n";
    EXPECT_EQ(RunHandler(DirLook, root.path() + L" /wsub* /md5"),
              DirHeader(root.path(), L"/wsub* /md5") + DirHeader(root / L"sub", L"/md5") +
                  L"\r\n---Files---\r\nin.txt" + FileText(L"--a---", 6) + kSubMd5 + noFolders +
                  DirHeader(root / L"sub.", L"/md5") + L"\r\n---Files---\r\nin.txt" + FileText(L"--a---", 10) +
                  kSubDotMd5 + L"\r\n" + log + FileText(L"--a---", 3) + kDotMd5 + noFolders);
    EXPECT_EQ(RunHandler(DirLook, root.path() + L" /wn* /nofiles"),
              DirHeader(root.path(), L"/wn* /nofiles") + DirHeader(root / L"name ", L"/nofiles") +
                  L"\r\n\r\n---Folders---\r\n" + stem + L"deep." + FolderText() + L"\r\n");
}

TEST_F(RewrittenNames, SearchesFindWhatLiesBelowSuchFolders) {
    EXPECT_EQ(RunHandler(FileFind, stem + L"*"),
              L"\r\nSearching for \"" + stem + L"*\"\r\n" + root / deep + L"\\" + txt + FileText(L"--a---", 5) +
                  kPlainMd5 + L"\r\n" + root / L"sub.\\" + log + FileText(L"--a---", 3) + kDotMd5 + L"\r\n");
    EXPECT_EQ(RunHandler(FolderFind, stem + L"deep*"),
              L"\r\nSearching for \"" + stem + L"deep*\"\r\n" + root / deep + FolderText() + L"\r\n");
}

// Win32 would open these names as devices (com1.log as the first serial port, which Wine maps to the
// console): run through the console front end, so that a regression ends in a timeout, not a hang.
TEST(DeviceNames, AreListedWithTheirDigestsWithoutHanging) {
    ScratchFolder root;
    const std::wstring name = UniqueName(L"qfdevices");
    const std::wstring folder = root / name;
    LinuxEntries entries{root.path(),
                         {{Narrow(name) + "/", ""},
                          {Narrow(name) + "/com1.log", "device"},
                          {Narrow(name) + "/con", "device"},
                          {Narrow(name) + "/nul.txt", "device"}}};
    ASSERT_TRUE(entries.made());
    for (const wchar_t* file : {L"com1.log", L"con", L"nul.txt"}) {
        SetTimes(Extended(folder + L"\\" + file), FileInstant());
    }
    // Wine decides as Windows 10 does: a typed com1.log is the device, while its \\?\ form is the file.
    const std::string script = ":DIR\r\n" + Narrow(folder) + " /md5\r\n:FILEFIND\r\ncom1.log\r\n:FILE\r\n" +
                               Narrow(folder) + "\\com1.log\r\n\\\\?\\" + Narrow(folder) + "\\com1.log\r\n";
    WriteFileBytes(root / L"script.txt", script);
    const std::wstring report = root / L"report.txt";
    ProcessResult run = RunProcess(Cli(L"--out \"" + report + L"\" \"" + root / L"script.txt\""));
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    const std::wstring files = L"\r\ncom1.log" + FileText(L"--a---", 6) + kDeviceMd5 + L"\r\ncon" +
                               FileText(L"--a---", 6) + kDeviceMd5 + L"\r\nnul.txt" + FileText(L"--a---", 6) +
                               kDeviceMd5;
    const std::wstring body = Banner(L"DIR") + DirHeader(folder, L"/md5") + L"\r\n---Files---" + files +
                              L"\r\n\r\n---Folders---\r\nNone found.\r\n" +
                              L"\r\n========== FILEFIND ==========\r\n\r\nSearching for \"com1.log\"\r\n" + folder +
                              L"\\com1.log" + FileText(L"--a---", 6) + kDeviceMd5 + L"\r\n" +
                              L"\r\n========== FILE ==========\r\n\r\n" + folder +
                              L"\\com1.log - Unable to find/read file.\r\n\r\n\\\\?\\" + folder +
                              L"\\com1.log - File found and opened.\r\nMD5:" + kDeviceMd5 +
                              L"\r\nCreated at 08:05 on 30/11/2021\r\nModified at 08:05 on 30/11/2021\r\n"
                              L"Size: 6 bytes\r\nAttributes: --a---\r\nNo version information available.\r\n" +
                              kEndOfFile;
    const ReportParts text = SplitReportHeader(ReadUtf16File(report));
    ASSERT_TRUE(text.hasHeader) << Narrow(text.body);
    EXPECT_EQ(text.body, body);
}

}  // namespace
