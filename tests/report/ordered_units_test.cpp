// Units worked on by several threads: each runs once, and what they write comes out in unit order.
#include "report/ordered_units.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

// The text unit `unit` writes as its `piece`-th piece: long enough that some units pass the limit on
// what may be held back (8 Mi characters) when `large`.
std::wstring Piece(size_t unit, int piece, bool large) {
    std::wstring text = L"[" + std::to_wstring(unit) + L"." + std::to_wstring(piece) + L"]";
    if (large && piece == 0) text.append(size_t{3} << 20, static_cast<wchar_t>(L'a' + unit % 26));
    return text;
}

TEST(OrderedUnits, EveryUnitRunsOnceAndItsTextComesOutInUnitOrder) {
    struct Case {
        size_t units;
        int pieces;
        bool large;  // early units write more than may be held back, so later ones must wait
    };
    for (const Case& c :
         {Case{0, 1, false}, Case{1, 3, false}, Case{3, 1, false}, Case{40, 7, false}, Case{5, 2, true}}) {
        SCOPED_TRACE(testing::Message() << c.units << " units of " << c.pieces << (c.large ? ", large" : ""));
        std::vector<std::atomic<int>> runs(c.units);
        std::atomic<int> atOnce{0};
        std::atomic<int> mostAtOnce{0};
        std::wstring expected;
        for (size_t unit = 0; unit < c.units; ++unit) {
            for (int piece = 0; piece < c.pieces; ++piece) expected += Piece(unit, piece, c.large);
        }
        std::wstring written = CaptureReport([&](FILE* report) {
            RunUnitsInOrder(report, c.units, [&](size_t unit, UnitSink& sink) {
                ++runs[unit];
                int now = ++atOnce;
                for (int seen = mostAtOnce; now > seen && !mostAtOnce.compare_exchange_weak(seen, now);) {
                }
                // Early units take longest, so later ones finish first and are held back.
                Sleep(unit < 3 ? 30 : 1);
                for (int piece = 0; piece < c.pieces; ++piece) sink.Write(Piece(unit, piece, c.large));
                --atOnce;
            });
        });
        for (size_t unit = 0; unit < c.units; ++unit) EXPECT_EQ(runs[unit], 1) << "unit " << unit;
        ASSERT_EQ(written.size(), expected.size());
        EXPECT_TRUE(written == expected);
        if (c.units >= kUnitThreads * 2) {
            EXPECT_GT(mostAtOnce, 1) << "the units never ran side by side";
        }
    }
}

}  // namespace
