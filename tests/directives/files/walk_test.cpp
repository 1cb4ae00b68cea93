// Tree walks that must end: a folder link that loops back, and a tree 2,000 folders deep.
#include <gtest/gtest.h>

#include "directives/files/files.h"
#include "tests/directives/files/file_fixtures.h"
#include "tests/support/test_support.h"

namespace {

std::wstring Searching(const std::wstring& line) { return L"\r\nSearching for \"" + line + L"\"\r\n"; }

// The folder entry text of a link or folder whose time the test did not choose, as the platform
// reports that time.
std::wstring FolderTimeText(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    EXPECT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
    return L"\td-----\t[" + TimeText(data.ftCreationTime) + L"]";
}

TEST(Walks, FolderLinksAreListedButNeverEntered) {
    ScratchFolder folder;
    const std::wstring stem = UniqueName(L"qfcycle");
    const std::wstring root = folder / stem;
    const std::wstring inner = root + L"\\inner";
    const std::wstring link = inner + L"\\" + stem + L"-loop";
    MakeFolder(root);
    MakeFolder(inner);
    MakeFile(inner + L"\\" + stem + L"-in.txt", "abc");
    ASSERT_TRUE(MakeLinuxLink(link, ".."));  // inner\loop -> root: root\inner\loop\inner\loop\...
    struct RemoveLink {  // Wine cannot remove a Linux link as a folder, so the scratch folder could not go
        std::string path;
        ~RemoveLink() { RunLinuxProgram("/bin/rm", "-f \"" + path + "\""); }
    } removeLink{UnixPath(link)};
    ASSERT_EQ(GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, FILE_ATTRIBUTE_REPARSE_POINT);
    SetTimes(inner, FolderInstant());
    const std::wstring linkText = FolderTimeText(link);

    EXPECT_EQ(RunHandler(DirLook, root + L" /sub"),
              L"\r\n" + root + L" - Parameters: \"/sub\"\r\n\r\n---Files---\r\nNone found.\r\n\r\n" + inner +
                  FolderText() + L"\r\n" + stem + L"-in.txt" + FileText(L"--a---", 3) + L"\r\n\r\n" + link + linkText +
                  L"\r\n");
    EXPECT_EQ(RunHandler(DirLook, inner), L"\r\n" + inner + L" - Parameters: \"(none)\"\r\n\r\n---Files---\r\n" + stem +
                                              L"-in.txt" + FileText(L"--a---", 3) + L"\r\n\r\n---Folders---\r\n" +
                                              stem + L"-loop" + linkText + L"\r\n");
    EXPECT_EQ(RunHandler(FileFind, stem + L"-in.txt"), Searching(stem + L"-in.txt") + inner + L"\\" + stem +
                                                           L"-in.txt" + FileText(L"--a---", 3) +
                                                           L" 900150983CD24FB0D6963F7D28E17F72\r\n");
    EXPECT_EQ(RunHandler(FolderFind, stem + L"-loop"), Searching(stem + L"-loop") + link + linkText + L"\r\n");
}

// Every folder opened at depth d costs Wine time growing with d squared, so this takes minutes: it runs
// as a ctest entry of its own (directives_files_deep_tree), not with the rest of this executable.
TEST(DeepTree, DISABLED_TwoThousandFoldersDeep) {
    // In the drive's root, so that the Linux path of the deepest file stays within PATH_MAX.
    RootScratch root;
    const std::wstring bottomName = UniqueName(L"z");
    const std::wstring fileName = UniqueName(L"qfdeep") + L".bin";
    constexpr int kDepth = 2000;
    std::vector<std::wstring> levels;
    std::wstring path = root.path();
    // Removed from the Linux side, which costs nothing.
    struct RemoveFromLinux {
        std::string path;
        ~RemoveFromLinux() { RunLinuxProgram("/bin/rm", std::string("-rf ").append(path)); }
    } removeDeep{UnixPath(root.path()).append("/d")};
    // Made from the Linux side too, one level at a time from the level above: made through Wine, every
    // folder would cost as much as opening it.
    for (int level = 1; level <= kDepth; ++level) {
        path += level < kDepth ? L"\\d" : L"\\" + bottomName;
        levels.push_back(path);
    }
    ScratchFolder scripts;
    WriteFileBytes(scripts / L"make.sh",
                   "cd \"$1\" || exit 1\n"
                   "i=1\n"
                   "while [ $i -lt " +
                       std::to_string(kDepth) +
                       " ]; do\n"
                       "  mkdir d && cd d || exit 1\n"
                       "  i=$((i + 1))\n"
                       "done\n"
                       "mkdir \"$2\"\n");
    ASSERT_TRUE(RunLinuxProgram(
        "/bin/sh", UnixPath(scripts / L"make.sh") + " " + UnixPath(root.path()) + " " + Narrow(bottomName)));
    ASSERT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    MakeFile(path + L"\\" + fileName, "abc");
    // The folders keep their own times, read back with a call that opens nothing.
    std::vector<std::wstring> texts;
    for (const std::wstring& level : levels) texts.push_back(FolderTimeText(level));

    std::wstring expected = L"\r\n" + root.path() + L" - Parameters: \"/sub /nofiles\"\r\n";
    for (size_t i = 0; i < levels.size(); ++i) expected += L"\r\n\r\n" + levels[i] + texts[i];
    expected += L"\r\n" + fileName + FileText(L"--a---", 3) + L"\r\n";
    std::wstring report = RunHandler(DirLook, root.path() + L" /sub /nofiles");
    EXPECT_EQ(report.size(), expected.size());
    EXPECT_TRUE(report == expected) << "the deep listing differs";

    EXPECT_EQ(RunHandler(FileFind, fileName), Searching(fileName) + path + L"\\" + fileName + FileText(L"--a---", 3) +
                                                  L" 900150983CD24FB0D6963F7D28E17F72\r\n");
    EXPECT_EQ(RunHandler(FolderFind, bottomName), Searching(bottomName) + path + texts.back() + L"\r\n");
}

}  // namespace
