// Lines whose ends are finished on other threads come out whole and in the order they were added.
#include "report/ordered_lines.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>

#include "tests/support/test_support.h"

namespace {

TEST(OrderedLines, LinesComeOutInTheOrderAddedWhereverTheyAreFinished) {
    struct Case {
        size_t threads;
        size_t hereFirst;
        int lines;
        int finishEvery;  // line i is finished elsewhere when i % finishEvery == 0, the rest are plain
        bool slowFirst;   // the first line takes long, so more lines than may be held pile up behind it
    };
    for (const Case& c : {Case{0, 0, 50, 2, false}, Case{1, 0, 200, 1, false}, Case{3, 4, 300, 2, false},
                          Case{3, 1000, 100, 3, false}, Case{2, 0, 6000, 1000, true}}) {
        SCOPED_TRACE(testing::Message() << c.lines << " lines, " << c.threads << " threads, " << c.hereFirst
                                        << " here first, every " << c.finishEvery << (c.slowFirst ? ", slow" : ""));
        const DWORD adder = GetCurrentThreadId();
        std::atomic<int> finishedElsewhere{0};
        int finished = 0;
        std::wstring expected;
        const std::wstring report = CaptureReport([&](FILE* file) {
            OrderedLines lines(file, c.threads, c.hereFirst);
            for (int i = 0; i < c.lines; ++i) {
                const std::wstring start = L"<" + std::to_wstring(i);
                const std::wstring end = L"+" + std::to_wstring(i) + L">";
                expected += start + end;
                if (i % c.finishEvery != 0) {
                    lines.Add(start + end);
                    continue;
                }
                ++finished;
                lines.Add(start, [&, i, end](std::wstring& text) {
                    if (GetCurrentThreadId() != adder) ++finishedElsewhere;
                    if (i == 0 && c.slowFirst) Sleep(200);
                    if (i % 13 == 1) Sleep(i < 40 ? 10 : 1);  // early lines finish after later ones
                    text += end;
                });
            }
        });  // what is still held is written as `lines` ends
        EXPECT_EQ(report, expected);
        // Workers start only after their first hereFirst lines, which are finished where they are added.
        const bool allHere = c.threads == 0 || static_cast<size_t>(finished) <= c.threads * c.hereFirst;
        EXPECT_EQ(finishedElsewhere == 0, allHere) << finishedElsewhere << " of " << finished << " elsewhere";
    }
}

}  // namespace
