// The run's progress on the taskbar button: the values shown for a run's line counts, how often the
// worker reports, and the interface's calls where the system has it.
#include "app/window/taskbar.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace {

std::string Show(const TaskbarProgress& p) {
    return std::to_string(p.state) + ":" + std::to_string(p.completed) + "/" + std::to_string(p.total);
}

TEST(TaskbarProgress, ShowsTheLinesDoneBeforeEachLineAndNothingOnceTheRunIsOver) {
    const struct {
        size_t lineNumber, lineCount;
        TBPFLAG state;
        ULONGLONG completed, total;
    } cases[] = {
        {1, 1, TBPF_NORMAL, 0, 1},  // a one-line script: nothing done while its line runs
        {1, 4, TBPF_NORMAL, 0, 4},
        {4, 4, TBPF_NORMAL, 3, 4},  // the last line runs: three of four done
        {2500, 10000, TBPF_NORMAL, 2499, 10000},
        {7, 5, TBPF_NORMAL, 4, 5},         // past the end: held at the last line
        {0, 5, TBPF_INDETERMINATE, 0, 0},  // no line yet
        {3, 0, TBPF_INDETERMINATE, 0, 0},  // no count: no bar to fill
    };
    for (const auto& c : cases) {
        TaskbarProgress p = ProgressBeforeLine(c.lineNumber, c.lineCount);
        EXPECT_EQ(p.state, c.state) << c.lineNumber << " of " << c.lineCount << ": " << Show(p);
        if (c.state == TBPF_NORMAL) {
            EXPECT_EQ(p.completed, c.completed) << c.lineNumber << " of " << c.lineCount;
            EXPECT_EQ(p.total, c.total) << c.lineNumber << " of " << c.lineCount;
            EXPECT_LT(p.completed, p.total);
        }
    }
    // Handed over, the count unknown: a moving bar. Over, however it ended: the plain button.
    EXPECT_EQ(ProgressAtStart().state, TBPF_INDETERMINATE);
    EXPECT_EQ(ProgressAtEnd().state, TBPF_NOPROGRESS);
}

TEST(TaskbarProgress, TheWorkerReportsTheFirstLineAndEachHundredthAtMost) {
    const struct {
        size_t lineCount;
        size_t steps;  // lines reported
    } cases[] = {
        {1, 1},     {3, 3},       {100, 100},  // short scripts: every line
        {150, 101}, {10000, 101}, {1000003, 101},
    };
    for (const auto& c : cases) {
        size_t steps = 0, last = 0;
        for (size_t line = 1; line <= c.lineCount; ++line) {
            if (IsProgressStep(line, c.lineCount)) {
                ++steps;
                last = line;
            }
        }
        EXPECT_EQ(steps, c.steps) << c.lineCount << " lines";
        EXPECT_TRUE(IsProgressStep(1, c.lineCount)) << c.lineCount << " lines";
        EXPECT_EQ(last, c.lineCount) << "the last line was not reported";
    }
    // Between two reports of a long script, nothing.
    EXPECT_FALSE(IsProgressStep(2, 10000));
    EXPECT_FALSE(IsProgressStep(199, 10000));
    EXPECT_TRUE(IsProgressStep(200, 10000));
    // Numbers no run produces.
    EXPECT_FALSE(IsProgressStep(0, 10));
    EXPECT_FALSE(IsProgressStep(11, 10));
    EXPECT_FALSE(IsProgressStep(1, 0));
}

TEST(TaskbarProgress, NoInterfaceShowsNothingAndWhereThereIsOneItTakesEveryState) {
    const TaskbarProgress run[] = {ProgressAtStart(), ProgressBeforeLine(1, 3), ProgressBeforeLine(3, 3),
                                   ProgressAtEnd()};
    for (const TaskbarProgress& progress : run) {
        EXPECT_TRUE(ShowTaskbarProgress(nullptr, nullptr, progress)) << Show(progress);
    }

    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        ComPointer<ITaskbarList3> taskbar = CreateTaskbarList();
        if (taskbar) {
            HWND window = CreateWindowExW(0, L"STATIC", L"taskbar", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                          nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
            ASSERT_NE(window, nullptr);
            for (const TaskbarProgress& progress : run) {
                EXPECT_TRUE(ShowTaskbarProgress(taskbar.get(), window, progress)) << Show(progress);
            }
            DestroyWindow(window);
        } else {
            std::printf("no ITaskbarList3 here: the window shows no progress\n");
        }
    }
    CoUninitialize();
}

}  // namespace
