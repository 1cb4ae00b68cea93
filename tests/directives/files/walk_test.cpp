// The folder walker: which folders it enters, the order it lists in, and walks that must end (a
// folder link that loops back, a deep tree on a small stack).
#include <gtest/gtest.h>

#include <cwchar>
#include <vector>

#include "directives/files/files.h"
#include "tests/directives/files/file_fixtures.h"
#include "tests/support/os_fixtures.h"
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

TEST(Walks, OnlyFoldersThatAreNoReparsePointsAreEntered) {
    struct Case {
        DWORD attributes;
        const wchar_t* name;
        bool enter;
    };
    const Case cases[] = {
        {FILE_ATTRIBUTE_DIRECTORY, L"sub", true},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, L"sub", true},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, L"link", false},  // 0x410, as Wine shows links
        {FILE_ATTRIBUTE_ARCHIVE, L"file.txt", false},
        {FILE_ATTRIBUTE_REPARSE_POINT, L"file-link", false},
        {FILE_ATTRIBUTE_DIRECTORY, L".", false},
        {FILE_ATTRIBUTE_DIRECTORY, L"..", false},
        {FILE_ATTRIBUTE_DIRECTORY, L"...", true},
        {FILE_ATTRIBUTE_DIRECTORY, L".hidden", true},
    };
    for (const Case& c : cases) {
        WIN32_FIND_DATAW entry = {};
        entry.dwFileAttributes = c.attributes;
        wcscpy(entry.cFileName, c.name);
        EXPECT_EQ(IsFolderToEnter(entry), c.enter) << Narrow(c.name) << " " << c.attributes;
    }
}

// root: A.txt, b.txt, m.log; Link -> sub (a Linux link); sub\x.txt, sub\inner\y.txt.
class WalkTree : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* file : {L"b.txt", L"A.txt", L"m.log"}) MakeFile(root / file, "f");
        MakeFolder(root / L"sub");
        MakeFolder(root / L"sub\\inner");
        MakeFile(root / L"sub\\x.txt", "x");
        MakeFile(root / L"sub\\inner\\y.txt", "y");
        ASSERT_TRUE(MakeLinuxLink(root / L"Link", "sub"));
    }
    void TearDown() override {
        RunLinuxProgram("/bin/rm", std::string("-f '").append(UnixPath(root / L"Link")).append("'"));
    }

    // "depth:path below the root", with "+" for a folder the walk may enter, in the order visited.
    std::wstring Walk(const WalkOptions& options) {
        std::wstring events;
        WalkFolder(root.path(), options, [&](const std::wstring& folder, const FoundEntry& entry, unsigned depth) {
            std::wstring below = folder.substr(root.path().size());
            events += std::to_wstring(depth) + L":" + (below.empty() ? L"" : below.substr(1) + L"\\") + entry.name +
                      (entry.enter ? L"+" : L"") + L" ";
        });
        return events;
    }

    ScratchFolder root;
};

TEST_F(WalkTree, ListsFilesThenFoldersAndEntersEachAfterItsLine) {
    WalkOptions options;
    options.files = options.folders = options.recursive = options.sorted = true;
    EXPECT_EQ(Walk(options), L"0:A.txt 0:b.txt 0:m.log 0:Link 0:sub+ 1:sub\\x.txt 1:sub\\inner+ 2:sub\\inner\\y.txt ");
    options.rootFiles = false;
    EXPECT_EQ(Walk(options), L"0:Link 0:sub+ 1:sub\\x.txt 1:sub\\inner+ 2:sub\\inner\\y.txt ");
    options.recursive = false;
    EXPECT_EQ(Walk(options), L"0:Link 0:sub+ ");
    options.folders = false;
    EXPECT_EQ(Walk(options), L"");
}

TEST_F(WalkTree, PatternsSelectNamesAtEveryDepthButEveryFolderIsEntered) {
    WalkOptions files;
    files.files = files.recursive = files.sorted = true;
    files.filePattern = L"*.TXT";
    EXPECT_EQ(Walk(files), L"0:A.txt 0:b.txt 1:sub\\x.txt 2:sub\\inner\\y.txt ");
    files.folders = true;  // every folder listed beside the matching files
    EXPECT_EQ(Walk(files), L"0:A.txt 0:b.txt 0:Link 0:sub+ 1:sub\\x.txt 1:sub\\inner+ 2:sub\\inner\\y.txt ");
    files.filePattern = L"";
    files.folders = false;
    EXPECT_EQ(Walk(files), L"");

    WalkOptions folders;
    folders.folders = folders.recursive = folders.sorted = true;
    folders.folderPattern = L"?n*";
    EXPECT_EQ(Walk(folders), L"1:sub\\inner+ ");
    folders.folderPattern = L"*";  // the link matches but is not entered
    EXPECT_EQ(Walk(folders), L"0:Link 0:sub+ 1:sub\\inner+ ");
    folders.recursive = false;
    folders.folderPattern = L"s*";
    EXPECT_EQ(Walk(folders), L"0:sub+ ");
}

// The walk keeps its own stack: run on a thread with a 64 KiB stack, it lists a tree 300 folders deep.
// A walker that recursed would hold at least one WIN32_FIND_DATAW (592 bytes) and a path per level,
// so 300 levels would take over 177,000 bytes of stack, far beyond 64 KiB. (A tree 2,000 deep is a
// benchmark row in bench/bench.sh: Wine makes every open cost the square of the depth.)
TEST(DeepTree, ThreeHundredFoldersDeepOnASmallStack) {
    constexpr int kDepth = 300;
    constexpr size_t kStackBytes = 64 * 1024;
    static_assert(kDepth * sizeof(WIN32_FIND_DATAW) > 2 * kStackBytes, "the depth must overflow a recursive walk");
    ScratchFolder root;
    const std::wstring bottomName = UniqueName(L"z");
    const std::wstring fileName = UniqueName(L"qfdeep") + L".bin";
    std::vector<std::wstring> levels;
    std::wstring path = root.path();
    std::string linuxPath = UnixPath(root.path());
    for (int level = 1; level <= kDepth; ++level) {
        path += level < kDepth ? L"\\d" : L"\\" + bottomName;
        linuxPath += level < kDepth ? std::string("/d") : std::string("/").append(Narrow(bottomName));
        levels.push_back(path);
    }
    // Made from the Linux side in one call: through Wine, every folder would cost as much as opening it.
    ASSERT_TRUE(RunLinuxProgram("/bin/mkdir", std::string("-p '").append(linuxPath).append("'")));
    MakeFile(path + L"\\" + fileName, "abc");
    std::vector<std::wstring> texts;
    for (const std::wstring& level : levels) texts.push_back(FolderTimeText(level));

    std::wstring expected = L"\r\n" + root.path() + L" - Parameters: \"/sub /nofiles\"\r\n";
    for (size_t i = 0; i < levels.size(); ++i) expected += L"\r\n\r\n" + levels[i] + texts[i];
    expected += L"\r\n" + fileName + FileText(L"--a---", 3) + L"\r\n";

    // Only the handlers run on the small stack; the report is read back on this thread.
    size_t had = 0;
    const auto onSmallStack = [&](void (*handler)(wchar_t*, FILE*), const std::wstring& line) {
        std::wstring copy = line;
        return CaptureReport(
            [&](FILE* report) { had = RunOnSmallStack(kStackBytes, [&] { handler(copy.data(), report); }); });
    };
    const std::wstring listing = onSmallStack(DirLook, root.path() + L" /sub /nofiles");
    const std::wstring files = onSmallStack(FileFind, fileName);
    const std::wstring folders = onSmallStack(FolderFind, bottomName);
    EXPECT_LE(had, kStackBytes);
    EXPECT_GT(had, kStackBytes / 2);
    EXPECT_EQ(listing.size(), expected.size());
    EXPECT_TRUE(listing == expected) << "the deep listing differs";
    EXPECT_EQ(files, Searching(fileName) + path + L"\\" + fileName + FileText(L"--a---", 3) +
                         L" 900150983CD24FB0D6963F7D28E17F72\r\n");
    EXPECT_EQ(folders, Searching(bottomName) + path + texts.back() + L"\r\n");
}

}  // namespace
