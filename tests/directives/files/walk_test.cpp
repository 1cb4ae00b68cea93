// The folder walker: which folders it enters, the order it lists in, and walks that must end (a
// folder link that loops back, a deep tree on a small stack).
#include <gtest/gtest.h>

#include <cwchar>
#include <vector>

#include "directives/files/files.h"
#include "tests/directives/files/file_fixtures.h"
#include "tests/support/os_fixtures.h"
#include "tests/support/pools.h"
#include "tests/support/test_support.h"
#include "util/disk_file.h"

namespace {

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
                                                           L"-in.txt" + FileText(L"--a---", 3) + L" " + kAbcMd5 +
                                                           L"\r\n");
    EXPECT_EQ(RunHandler(FolderFind, stem + L"-loop"), Searching(stem + L"-loop") + link + linkText + L"\r\n");
}

TEST(Walks, FoldersAreEnteredUnlessTheyAreLinks) {
    struct Case {
        DWORD attributes;
        DWORD tag;  // dwReserved0
        const wchar_t* name;
        bool enter;
    };
    const DWORD kFolderReparse = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    const Case cases[] = {
        {FILE_ATTRIBUTE_DIRECTORY, 0, L"sub", true},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, 0, L"sub", true},
        {FILE_ATTRIBUTE_DIRECTORY, 0xA000000C, L"sub", true},  // a tag means nothing without the attribute
        {kFolderReparse, 0, L"link", false},                   // 0x410 and tag 0, as Wine shows links
        {kFolderReparse, 0xA0000003, L"junction", false},
        {kFolderReparse, 0x9000601A, L"OneDrive", true},
        {kFolderReparse | FILE_ATTRIBUTE_READONLY | 0x400000, 0x9000001A, L"Documents", true},  // online-only
        {kFolderReparse, 0x80000013, L"dedup", true},
        {FILE_ATTRIBUTE_ARCHIVE, 0, L"file.txt", false},
        {FILE_ATTRIBUTE_REPARSE_POINT, 0x9000001A, L"file-placeholder", false},
        {FILE_ATTRIBUTE_REPARSE_POINT, 0, L"file-link", false},
        {FILE_ATTRIBUTE_DIRECTORY, 0, L".", false},
        {FILE_ATTRIBUTE_DIRECTORY, 0, L"..", false},
        {kFolderReparse, 0x9000001A, L"..", false},
        {FILE_ATTRIBUTE_DIRECTORY, 0, L"...", true},
        {FILE_ATTRIBUTE_DIRECTORY, 0, L".hidden", true},
    };
    for (const Case& c : cases) {
        WIN32_FIND_DATAW entry = {};
        entry.dwFileAttributes = c.attributes;
        entry.dwReserved0 = c.tag;
        wcscpy(entry.cFileName, c.name);
        EXPECT_EQ(IsFolderToEnter(entry), c.enter) << Narrow(c.name) << " " << c.attributes;
    }
}

TEST(Walks, ReparseTagsOfNameSurrogatesAndUnknownTagsAreNotEntered) {
    const struct {
        DWORD tag;
        bool enter;
    } cases[] = {
        {0xA0000003, false},                       // MOUNT_POINT: junctions and volume mount points
        {0xA000000C, false},                       // SYMLINK
        {0xA000001D, false},                       // LX_SYMLINK
        {0xA0000019, false},                       // GLOBAL_REPARSE
        {0xA0000027, false},                       // WCI_LINK
        {0x9000001A, true},                        // CLOUD
        {0x9000101A, true},                        // CLOUD_1
        {0x9000701A, true},                        // CLOUD_7
        {0x9000F01A, true},                        // CLOUD_F
        {0x80000013, true},                        // DEDUP
        {0x8000001B, true},                        // APPEXECLINK
        {0x80000018, true},                        // WCI
        {0x90001018, true},                        // WCI_1
        {0x80000021, true},                        // ONEDRIVE
        {0x80000017, true},                        // WOF
        {0x9000001C, true},                        // PROJFS
        {0x80000023, true},                        // AF_UNIX
        {0xC0000004, true},                        // HSM
        {0, false},                                // Wine's links
        {1, false},                                // reserved
        {0x8000FFFF, false},                       // Microsoft's bit, unknown tag
        {0x00001234, false},                       // another vendor's tag
        {0x9000F01B, false},                       // not a cloud tag, though close to one
        {0x9001001A, false}, {0xB000001A, false},  // a name surrogate bit on a cloud-like tag
        {0xFFFFFFFF, false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsReparseTagToEnter(c.tag), c.enter) << std::hex << c.tag;
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

// Enters every folder, links too, so that only the identity guard stands between a walk and a loop.
bool EnterEveryFolder(const WIN32_FIND_DATAW& entry) {
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && wcscmp(entry.cFileName, L".") != 0 &&
           wcscmp(entry.cFileName, L"..") != 0;
}

TEST_F(WalkTree, AnEnteredReparsePointNeverLeadsBackIntoTheCurrentPath) {
    // Link -> sub is not on the path to itself: entered, and listed like sub.
    WalkOptions options;
    options.files = options.folders = options.recursive = options.sorted = true;
    options.enterRule = EnterEveryFolder;
    EXPECT_EQ(Walk(options),
              L"0:A.txt 0:b.txt 0:m.log 0:Link+ 1:Link\\x.txt 1:Link\\inner+ 2:Link\\inner\\y.txt "
              L"0:sub+ 1:sub\\x.txt 1:sub\\inner+ 2:sub\\inner\\y.txt ");
    // sub\inner\up -> .. and sub\inner\top -> the root lead back into the path: listed, not entered.
    ASSERT_TRUE(MakeLinuxLink(root / L"sub\\inner\\up", ".."));
    ASSERT_TRUE(MakeLinuxLink(root / L"sub\\inner\\top", "../.."));
    struct RemoveLinks {
        std::string folder;
        ~RemoveLinks() { RunLinuxProgram("/bin/rm", "-f '" + folder + "/up' '" + folder + "/top'"); }
    } removeLinks{UnixPath(root / L"sub\\inner")};
    options.files = false;
    EXPECT_EQ(Walk(options),
              L"0:Link+ 1:Link\\inner+ 2:Link\\inner\\top+ 2:Link\\inner\\up+ 0:sub+ 1:sub\\inner+ "
              L"2:sub\\inner\\top+ 2:sub\\inner\\up+ ");
    // Each entry carries the form to open it by: the \\?\ path below the root, as found.
    std::wstring listing;
    WalkFolder(root.path(), options, [&](const std::wstring&, const FoundEntry& entry, unsigned) {
        if (entry.name == L"up") listing += entry.openPath + L" ";
    });
    EXPECT_EQ(listing, ExtendedLengthPath(root / L"Link\\inner\\up") + L" " +
                           ExtendedLengthPath(root / L"sub\\inner\\up") + L" ");
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
    const auto onSmallStack = [&](PayloadHandler handler, const std::wstring& line) {
        return RunHandler(handler, line, OnThisThread(),
                          [&](const auto& call) { had = RunOnSmallStack(kStackBytes, call); });
    };
    const std::wstring listing = onSmallStack(DirLook, root.path() + L" /sub /nofiles");
    const std::wstring files = onSmallStack(FileFind, fileName);
    const std::wstring folders = onSmallStack(FolderFind, bottomName);
    EXPECT_LE(had, kStackBytes);
    EXPECT_GT(had, kStackBytes / 2);
    EXPECT_EQ(listing.size(), expected.size());
    EXPECT_TRUE(listing == expected) << "the deep listing differs";
    EXPECT_EQ(files, Searching(fileName) + path + L"\\" + fileName + FileText(L"--a---", 3) + L" " + kAbcMd5 + L"\r\n");
    EXPECT_EQ(folders, Searching(bottomName) + path + texts.back() + L"\r\n");
}

}  // namespace
