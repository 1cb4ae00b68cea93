// Units worked on by several threads: each runs once, and what they write comes out in unit order,
// also when a unit gives part of its work away.
#include "report/ordered_units.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

namespace {

// Collects the pieces in the order they come out and fails if two ever come out at once.
struct Collector {
    std::wstring text;
    std::atomic<int> inside{0};

    void operator()(const std::wstring& piece) {
        if (inside.fetch_add(1) != 0) ADD_FAILURE() << "two pieces came out at once";
        text += piece;
        inside.fetch_sub(1);
    }
};

// The piece-th piece of unit `unit`; large ones pass the limit on what may be held back together
// (8 Mi characters), so that later units must wait for their turn.
std::wstring Piece(size_t unit, int piece, bool large) {
    std::wstring text = L"[" + std::to_wstring(unit) + L"." + std::to_wstring(piece) + L"]";
    if (large && piece == 0) text.append(size_t{3} << 20, static_cast<wchar_t>(L'a' + unit % 26));
    return text;
}

TEST(OrderedUnits, EveryUnitRunsOnceAndItsPiecesComeOutInUnitOrder) {
    struct Case {
        size_t units;
        int pieces;
        bool large;
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
        Collector out;
        RunUnitsInOrder(std::ref(out), c.units, [&](size_t unit, UnitSink& sink) {
            ++runs[unit];
            int now = ++atOnce;
            for (int seen = mostAtOnce; now > seen && !mostAtOnce.compare_exchange_weak(seen, now);) {
            }
            Sleep(unit < 3 ? 30 : 1);  // early units take longest, so later ones finish first and are held back
            for (int piece = 0; piece < c.pieces; ++piece) sink.Write(Piece(unit, piece, c.large));
            --atOnce;
        });
        for (size_t unit = 0; unit < c.units; ++unit) EXPECT_EQ(runs[unit], 1) << "unit " << unit;
        ASSERT_EQ(out.text.size(), expected.size());
        EXPECT_TRUE(out.text == expected);
        if (c.units >= kUnitThreads * 2) {
            EXPECT_GT(mostAtOnce, 1) << "the units never ran side by side";
        }
    }
}

// Writes the numbers [from, to) in turn, giving the later half of what is left away whenever a thread
// waits for work, as the registry walks do.
void WriteRange(UnitSink& sink, int from, int to, std::atomic<int>& splits) {
    for (int n = from; n < to; ++n) {
        if (sink.Wanted() && to - n > 1) {
            const int middle = n + (to - n) / 2;
            const int end = to;
            to = middle;
            ++splits;
            sink.Split([middle, end, &splits](UnitSink& given) { WriteRange(given, middle, end, splits); });
        }
        sink.Write(std::to_wstring(n) + L",");
        if (n % 500 == 0) Sleep(1);
    }
}

TEST(OrderedUnits, WorkGivenAwayComesOutWhereItWouldHaveCome) {
    for (size_t units : {size_t{1}, size_t{3}}) {
        SCOPED_TRACE(units);
        const int perUnit = 20000;
        std::atomic<int> splits{0};
        Collector out;
        RunUnitsInOrder(std::ref(out), units, [&](size_t unit, UnitSink& sink) {
            WriteRange(sink, static_cast<int>(unit) * perUnit, static_cast<int>(unit + 1) * perUnit, splits);
        });
        std::wstring expected;
        for (int n = 0; n < static_cast<int>(units) * perUnit; ++n) expected += std::to_wstring(n) + L",";
        ASSERT_EQ(out.text.size(), expected.size());
        EXPECT_TRUE(out.text == expected);
        EXPECT_GT(splits, 0) << "the waiting threads were never given work";
    }
}

}  // namespace
