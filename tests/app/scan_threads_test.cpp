// Every open a scan makes, on its own thread or on one of its pool's, is made inside the native views
// (the x86 build's file-system redirection turned off under WOW64, which Windows keeps per thread), and
// the report is the same whatever the number of threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "app/scan/scan.h"
#include "tests/support/test_support.h"
#include "util/native_view.h"
#include "util/test_hooks.h"

namespace {

std::atomic<int> opensInView{0};
std::atomic<int> opensOutsideView{0};
std::atomic<int> opensElsewhere{0};  // on threads other than the scan's
DWORD scanThread = 0;

void CountOpen() {
    ++(ThreadInNativeViews() ? opensInView : opensOutsideView);
    if (GetCurrentThreadId() != scanThread) ++opensElsewhere;
}

TEST(ScanThreads, EveryOpenOnEveryThreadIsInsideTheViewsAndTheReportIsTheSame) {
    ScratchFolder folder;
    ScratchFolder reportsFolder;
    // Enough files and keys that a pool's threads take some of them.
    for (int i = 0; i < 150; ++i)
        WriteFileBytes(folder / (L"qfview" + std::to_wstring(i) + L".txt"), "file " + std::to_string(i));
    TestKey key(L"ScanThreads");
    for (int i = 0; i < 300; ++i)
        key.SetString(L"v", L"key " + std::to_wstring(i), L"k" + std::to_wstring(i % 30) + L"\\k" + std::to_wstring(i));
    const std::wstring script =
        L":DIR\r\n" + folder.path() + L" /md5\r\n:REG\r\nHKCU\\" + key.path() + L" /s\r\n:FILEFIND\r\nqfview1*.txt\r\n";

    std::wstring reports[3];
    const unsigned threads[3] = {1, 4, 2};
    scanThread = GetCurrentThreadId();
    WatchOpens(CountOpen);
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(testing::Message() << threads[run] << " threads");
        opensInView = opensOutsideView = opensElsewhere = 0;
        const std::wstring path = reportsFolder / (L"report" + std::to_wstring(run) + L".txt");
        std::wstring copy = script;
        ScanOptions options;
        options.reportPath = path.c_str();
        options.threads = threads[run];
        ASSERT_EQ(RunScan(copy.data(), options), ScanOutcome::Completed);
        reports[run] = ReportBody(ReadUtf16File(path));  // without the creation time
        EXPECT_GT(opensInView.load(), 450);
        EXPECT_EQ(opensOutsideView.load(), 0);
        if (threads[run] == 1) {
            EXPECT_EQ(opensElsewhere.load(), 0);
        } else {
            EXPECT_GT(opensElsewhere.load(), 0) << "no job ran on the pool's threads";
        }
    }
    WatchOpens(nullptr);
    EXPECT_NE(reports[0].find(L"qfview149.txt"), std::wstring::npos);
    for (int run = 1; run < 3; ++run) {
        const auto differ =
            std::mismatch(reports[0].begin(), reports[0].end(), reports[run].begin(), reports[run].end());
        EXPECT_TRUE(reports[run] == reports[0])
            << threads[run] << " threads: the report differs from one thread's at character "
            << (differ.first - reports[0].begin()) << ": "
            << Narrow(reports[run].substr(static_cast<size_t>(differ.second - reports[run].begin()), 200));
    }
}

}  // namespace
