// The walker on deep chains and on folders that cannot be listed: how it opens each folder, which
// answers of a listing mean "no entries", and what the reports say when a listing fails.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "directives/files/files.h"
#include "tests/directives/files/file_fixtures.h"
#include "tests/support/os_fixtures.h"
#include "tests/support/pools.h"
#include "tests/support/test_support.h"
#include "util/disk_file.h"
#include "util/system_error.h"
#include "util/test_hooks.h"

namespace {

TEST(Listings, OnlyTheAnswersThatMeanNoEntriesAreEmptyFolders) {
    const struct {
        DWORD error;
        ListingAnswer answer;
        ListingAnswer byPattern = ListingAnswer::kFailed;  // of an enumeration with the user's pattern
    } cases[] = {
        {ERROR_SUCCESS, ListingAnswer::kListed, ListingAnswer::kListed},
        {ERROR_NO_MORE_FILES, ListingAnswer::kListed, ListingAnswer::kListed},   // the end of the entries
        {ERROR_FILE_NOT_FOUND, ListingAnswer::kListed, ListingAnswer::kListed},  // no match, or the folder went away
        {ERROR_ACCESS_DENIED, ListingAnswer::kListed, ListingAnswer::kListed},   // shown as "None found."
        {ERROR_TOO_MANY_OPEN_FILES, ListingAnswer::kFailed},
        {ERROR_NO_SYSTEM_RESOURCES, ListingAnswer::kFailed},  // STATUS_INSUFFICIENT_RESOURCES
        {ERROR_NOT_ENOUGH_MEMORY, ListingAnswer::kFailed},
        {ERROR_OUTOFMEMORY, ListingAnswer::kFailed},
        {ERROR_FILENAME_EXCED_RANGE, ListingAnswer::kFailed},                    // a path past 32,767 characters
        {ERROR_PATH_NOT_FOUND, ListingAnswer::kFailed, ListingAnswer::kListed},  // a pattern with a folder in it
        {ERROR_INVALID_NAME, ListingAnswer::kFailed, ListingAnswer::kListed},    // a pattern holding < > | "
        {ERROR_BAD_PATHNAME, ListingAnswer::kFailed, ListingAnswer::kListed},
        {ERROR_DIRECTORY, ListingAnswer::kFailed},  // a folder that became a file
        {ERROR_NOT_READY, ListingAnswer::kFailed},
        {ERROR_INVALID_DATA, ListingAnswer::kFailed},  // a record that overran what was filled
        {ERROR_CALL_NOT_IMPLEMENTED, ListingAnswer::kFailed},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClassifyListing(c.error), c.answer) << c.error;
        EXPECT_EQ(ClassifyListing(c.error, true), c.byPattern) << c.error << " by pattern";
    }
}

TEST(FolderOpens, RelativeBelowAHeldParentOnlyWhereTheThreadsViewAllowsIt) {
    // The x86 build under WOW64 asks for redirection off; a thread that has not turned it off would
    // see a relative and a by-path open redirected differently, so it opens by path. A 64-bit build,
    // or an x86 one on 32-bit Windows, asks nothing and always may.
    const struct {
        bool redirectionOffAsked;
        bool threadInView;
        bool relative;
    } views[] = {{false, false, true}, {false, true, true}, {true, true, true}, {true, false, false}};
    for (const auto& c : views) EXPECT_EQ(MayOpenRelative(c.redirectionOffAsked, c.threadInView), c.relative);

    const struct {
        bool parentHeld;
        unsigned depth;
        bool relativeAllowed;
        FolderOpenPlan plan;
    } plans[] = {
        {false, 0, true, {false, true}},  // the root: by its path, held
        {true, 1, true, {true, true}},
        {true, kMostHeldFolders - 1, true, {true, true}},
        {true, kMostHeldFolders, true, {true, false}},        // opened relative, then closed
        {false, kMostHeldFolders + 1, true, {false, false}},  // below an unheld parent: by path
        {true, 5, false, {false, true}},                      // the view forbids it: by path
    };
    for (const auto& c : plans) {
        EXPECT_TRUE(PlanFolderOpen(c.parentHeld, c.depth, c.relativeAllowed) == c.plan)
            << c.parentHeld << " " << c.depth << " " << c.relativeAllowed;
    }
}

// Folders whose names end in "-broken" fail to list: on the first attempt only, or on every one.
std::atomic<bool> failEveryAttempt{false};
std::atomic<int> brokenAttempts{0};
DWORD FailBroken(const std::wstring& folder, unsigned attempt) {
    if (!folder.ends_with(L"-broken")) return ERROR_SUCCESS;
    ++brokenAttempts;
    return attempt == 0 || failEveryAttempt ? ERROR_TOO_MANY_OPEN_FILES : ERROR_SUCCESS;
}
struct InjectedFault {
    explicit InjectedFault(bool everyAttempt) {
        failEveryAttempt = everyAttempt;
        brokenAttempts = 0;
        InjectListingFault(FailBroken);
    }
    ~InjectedFault() { InjectListingFault(nullptr); }
};

// root: a.txt, sub-broken\b.txt, sub-broken\<stem>-inner\c.txt, z\d.txt (names after the stem).
class BrokenTree : public ::testing::Test {
protected:
    void SetUp() override {
        MakeFile(root / (stem + L"-a.txt"), "a");
        MakeFolder(broken);
        MakeFolder(inner);
        MakeFolder(root / L"z");
        MakeFile(broken + L"\\" + stem + L"-b.txt", "b");
        MakeFile(inner + L"\\" + stem + L"-c.txt", "c");
        MakeFile(root / (L"z\\" + stem + L"-d.txt"), "d");
        for (const std::wstring& folder : {inner, broken, root / L"z"}) SetTimes(folder, FolderInstant());
    }

    ScratchFolder root;
    const std::wstring stem = UniqueName(L"qfbrk");
    const std::wstring broken = root / L"sub-broken";
    const std::wstring inner = broken + L"\\" + stem + L"-inner";
    const std::wstring reason = L" - Unable to list folder: " + SystemErrorText(ERROR_TOO_MANY_OPEN_FILES);
};

TEST_F(BrokenTree, AListingThatFailsOnceIsTriedAgainAndTheReportsDoNotChange) {
    // A failed and a good attempt per run where the walk lists the broken folder.
    const struct {
        std::wstring line;
        int attempts;
    } cases[] = {{root.path() + L" /sub /md5", 6}, {root.path(), 0}, {broken + L" /md5", 6}};
    for (const auto& c : cases) {
        const std::wstring clean = RunHandler(DirLook, c.line);
        InjectedFault fault(false);
        for (unsigned threads : {1u, 2u, 4u}) {
            WorkPool pool(threads);
            EXPECT_EQ(RunHandler(DirLook, c.line, pool), clean) << Narrow(c.line) << ", " << threads << " threads";
        }
        EXPECT_EQ(brokenAttempts.load(), c.attempts) << Narrow(c.line);
    }
    const std::wstring files = RunHandler(FileFind, stem + L"-*.txt");
    InjectedFault fault(false);
    EXPECT_EQ(RunHandler(FileFind, stem + L"-*.txt"), files);
    EXPECT_NE(files.find(stem + L"-c.txt"), std::wstring::npos);
}

TEST_F(BrokenTree, AFolderThatCannotBeListedIsSaidWhereItsEntriesWouldBeNeverShownAsEmpty) {
    const std::wstring a = stem + L"-a.txt" + FileText(L"--a---", 1);
    const std::wstring d = stem + L"-d.txt" + FileText(L"--a---", 1);
    InjectedFault fault(true);
    // Below the root: its line, then the reason in place of its files; nothing below it.
    EXPECT_EQ(RunHandler(DirLook, root.path() + L" /sub"),
              L"\r\n" + root.path() + L" - Parameters: \"/sub\"\r\n\r\n---Files---\r\n" + a + L"\r\n\r\n" + broken +
                  FolderText() + L"\r\n" + broken + reason + L"\r\n\r\n" + root.path() + L"\\z" + FolderText() +
                  L"\r\n" + d + L"\r\n");
    // The root itself: in place of its files and of its folders, never "None found."
    const std::wstring header = L"\r\n" + broken + L" - Parameters: \"";
    EXPECT_EQ(RunHandler(DirLook, broken), header + L"(none)\"\r\n\r\n---Files---\r\n" + broken + reason +
                                               L"\r\n\r\n---Folders---\r\n" + broken + reason + L"\r\n");
    EXPECT_EQ(RunHandler(DirLook, broken + L" /sub /nofiles"),
              header + L"/sub /nofiles\"\r\n\r\n" + broken + reason + L"\r\n");
    EXPECT_EQ(RunHandler(DirLook, broken + L" /nofiles"),
              header + L"/nofiles\"\r\n\r\n\r\n---Folders---\r\n" + broken + reason + L"\r\n");
    // A search: its results, then how many folders it could not list and the first.
    const std::wstring because = L": " + SystemErrorText(ERROR_TOO_MANY_OPEN_FILES) + L"\r\n";
    EXPECT_EQ(RunHandler(FileFind, stem + L"-*.txt"),
              L"\r\nSearching for \"" + stem + L"-*.txt\"\r\n" + root.path() + L"\\" + a + L" " + ReferenceMD5("a") +
                  L"\r\n" + root.path() + L"\\z\\" + d + L" " + ReferenceMD5("d") +
                  L"\r\nUnable to list 1 folder, the first " + broken + because);
    EXPECT_EQ(RunHandler(FolderFind, stem + L"-inner"),
              L"\r\nSearching for \"" + stem + L"-inner\"\r\nNo folders found.\r\nUnable to list 1 folder, the first " +
                  broken + because);
}

// A chain of folders whose path passes 32,767 characters (170 levels of 200-letter names), made from
// the Linux side (opening each level from the last, as nothing can name the deepest by its path):
// the console front end walks it to its end, within a bound, in each directive.
TEST(Chains, AChainLongerThanAnyWholePathIsWalkedToItsEndThroughTheConsoleFrontEnd) {
    ScratchFolder folder;
    ScratchFolder work;
    const std::wstring top = folder / UniqueName(L"qfchain");
    const std::string name(200, 'n');
    constexpr int kLevels = 170;
    WriteFileBytes(work / L"make.py",
                   "import os, sys\n"
                   "fd = os.open(sys.argv[1], os.O_RDONLY)\n"
                   "for i in range(" +
                       std::to_string(kLevels) +
                       "):\n"
                       "    os.mkdir('" +
                       name +
                       "', dir_fd=fd)\n"
                       "    nfd = os.open('" +
                       name +
                       "', os.O_RDONLY, dir_fd=fd); os.close(fd); fd = nfd\n"
                       "f = os.open('qfchain-bottom.txt', os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)\n"
                       "os.write(f, b'abc')\n");
    MakeFolder(top);
    struct RemoveChain {  // Wine could not name the deep end to remove it
        std::string path;
        ~RemoveChain() { RunLinuxProgram("/bin/rm", "-rf '" + path + "'"); }
    } removeChain{UnixPath(top)};
    ASSERT_TRUE(RunLinuxProgram("/usr/bin/python3", "'" + UnixPath(work / L"make.py") + "' '" + UnixPath(top) + "'"));

    std::wstring deepest = top;
    for (int level = 0; level < kLevels; ++level) deepest += L"\\" + Wide(name);
    ASSERT_GT(deepest.size(), 32767u);
    const std::wstring bottom = deepest + L"\\qfchain-bottom.txt\t--a--- 3 bytes\t[";
    const std::wstring report = work / L"report.txt";
    const ProcessResult run = RunCliScript(
        work,
        L":DIR\r\n" + top + L" /sub /md5\r\n:FILEFIND\r\nqfchain-bottom.txt\r\n:FOLDERFIND\r\n" + Wide(name) + L"\r\n",
        report);
    ASSERT_EQ(run.exitCode, 0u);
    const std::wstring text = ReadUtf16File(report);
    // DIR: every level's line, the file at the bottom with its digest.
    EXPECT_NE(text.find(L"\r\n\r\n" + deepest + L"\td-----\t["), std::wstring::npos);
    EXPECT_NE(text.find(L"\r\nqfchain-bottom.txt\t--a--- 3 bytes\t["), std::wstring::npos);
    size_t digests = 0;
    for (size_t at = text.find(L"] " + kAbcMd5 + L"\r\n"); at != std::wstring::npos;
         at = text.find(L"] " + kAbcMd5 + L"\r\n", at + 1))
        ++digests;
    EXPECT_EQ(digests, 2u);  // DIR's and FILEFIND's
    // FILEFIND finds and digests it; FOLDERFIND lists all 170 levels.
    EXPECT_NE(text.find(bottom), std::wstring::npos);
    const size_t found = text.find(L"\"" + Wide(name) + L"\"\r\n");
    ASSERT_NE(found, std::wstring::npos);
    size_t levels = 0;
    for (size_t at = text.find(L"\td-----\t[", found); at != std::wstring::npos; at = text.find(L"\td-----\t[", at + 1))
        ++levels;
    EXPECT_EQ(levels, static_cast<size_t>(kLevels));
    EXPECT_EQ(text.find(L"Unable to list"), std::wstring::npos);
}

// Every piece of a walk makes progress on a small machine: a chain with a file on each level, listed
// with digests and searched, under 1, 2 and 4 threads held to one core, the same report each time.
TEST(Chains, ADeepWalkWithDigestsEndsOnEveryThreadCountOnOneCore) {
    ScratchFolder root;
    const std::wstring stem = UniqueName(L"qfdeepw");
    std::wstring level = root.path();
    for (int i = 0; i < 60; ++i) {
        level += L"\\d";
        MakeFolder(level);
        MakeFile(level + L"\\" + stem + L".txt", std::string(static_cast<size_t>(i), 'x'));
    }
    const std::wstring line = root.path() + L" /sub /md5";
    std::wstring listings[3], searches[3];
    const unsigned threads[3] = {1, 2, 4};
    UnderLoad oneCore(MachineLoad::kOneCore);
    for (int run = 0; run < 3; ++run) {
        WorkPool pool(threads[run]);
        EndsWithinOrStops("DIR /sub /md5 of a chain", [&] { listings[run] = RunHandler(DirLook, line, pool); });
        EndsWithinOrStops("FILEFIND of a chain", [&] { searches[run] = RunHandler(FileFind, stem + L".txt", pool); });
    }
    EXPECT_NE(listings[0].find(level + L"\td-----"), std::wstring::npos);
    EXPECT_NE(searches[0].find(level + L"\\" + stem + L".txt"), std::wstring::npos);
    for (int run = 1; run < 3; ++run) {
        EXPECT_TRUE(listings[run] == listings[0]) << threads[run] << " threads";
        EXPECT_TRUE(searches[run] == searches[0]) << threads[run] << " threads";
    }
}

}  // namespace
