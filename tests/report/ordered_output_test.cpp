// Text written by several threads at once comes out in the order of its parts' chain, each text on
// its own, however the threads are timed, and a part far ahead never waits for one nobody writes.
#include "report/ordered_output.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/support/pools.h"

namespace {

// Collects what comes out, one text to an entry, and fails if two texts ever come out at once.
struct Collector {
    std::vector<std::wstring> texts;
    std::atomic<int> inside{0};

    OrderedOutput::Sink Sink() {
        return [this](const std::wstring& text) {
            if (inside.fetch_add(1) != 0) ADD_FAILURE() << "two texts came out at once";
            texts.push_back(text);
            inside.fetch_sub(1);
        };
    }
};

// A part's job: it writes `pieces` texts named after `name`; a walk that splits also places a part of
// its own right after it and posts that part's job first.
struct PartJob {
    std::wstring name;
    int pieces;
    int splits;  // how many parts this one makes after itself, each with one piece fewer
};

void Write(OrderedOutput& output, WorkPool& pool, JobGroup& jobs, OrderedOutput::Part* part, PartJob job) {
    output.Begin(part);
    // The parts split off come after everything this one writes, the last made first.
    for (int split = 0; split < job.splits; ++split) {
        OrderedOutput::Part* after = output.InsertAfter(part);
        PartJob later{job.name + L"." + std::to_wstring(job.splits - split), job.pieces, job.splits - split - 1};
        if (!pool.Offer(jobs, [&output, &pool, &jobs, after, later] { Write(output, pool, jobs, after, later); })) {
            Write(output, pool, jobs, after, later);  // no thread: in its place, after this part's own
        }
    }
    for (int piece = 0; piece < job.pieces; ++piece) {
        if (piece % 3 == 2) SwitchToThread();  // let the other threads run ahead now and then
        output.Write(part, job.name + L":" + std::to_wstring(piece));
    }
    output.Finish(part);
}

// The texts of `job` and every part it splits off, in the order of one thread.
void Expected(const PartJob& job, std::vector<std::wstring>& texts) {
    for (int piece = 0; piece < job.pieces; ++piece) texts.push_back(job.name + L":" + std::to_wstring(piece));
    for (int split = 1; split <= job.splits; ++split) {
        Expected(PartJob{job.name + L"." + std::to_wstring(split), job.pieces, split - 1}, texts);
    }
}

TEST(OrderedOutput, TextsComeOutInTheChainsOrderWhicheverThreadWritesThem) {
    const struct {
        const char* shape;
        std::vector<PartJob> parts;  // appended in this order, each its own job
        bool appendLastBetween;      // a finished text at the end after each part
    } kCases[] = {
        {"one part", {{L"a", 5, 0}}, false},
        {"lines", {{L"a", 1, 0}, {L"b", 1, 0}, {L"c", 1, 0}, {L"d", 1, 0}}, true},
        {"many lines", std::vector<PartJob>(300, PartJob{L"x", 2, 0}), true},
        {"a walk that splits", {{L"r", 4, 4}}, false},
        {"walks that split, between lines", {{L"a", 1, 0}, {L"r", 3, 3}, {L"s", 2, 5}, {L"z", 1, 0}}, true},
    };
    for (const auto& row : kCases) {
        for (unsigned threads : {1u, 2u, 4u}) {
            for (MachineLoad load : kMachineLoads) {
                SCOPED_TRACE(testing::Message() << row.shape << ", " << threads << " threads, " << LoadName(load));
                UnderLoad underLoad(load);
                std::vector<std::wstring> expected;
                Collector out;
                {
                    WorkPool pool(threads);
                    OrderedOutput output(out.Sink());
                    JobGroup jobs;
                    int index = 0;
                    for (const PartJob& part : row.parts) {
                        const PartJob named{part.name + std::to_wstring(index++), part.pieces, part.splits};
                        Expected(named, expected);
                        OrderedOutput::Part* placed = output.Append();
                        pool.Post(jobs, [&, placed, named] { Write(output, pool, jobs, placed, named); });
                        if (row.appendLastBetween) {
                            const std::wstring last = L"last after " + named.name;
                            expected.push_back(last);
                            output.WriteLast(last);
                        }
                    }
                    pool.Wait(jobs);
                }
                EXPECT_EQ(out.texts, expected);
            }
        }
    }
}

TEST(OrderedOutput, APartPastTheHeldBackLimitWaitsOnlyForAPartThatIsBeingWritten) {
    const std::wstring large(OrderedOutput::kHeldBackLimit / 2 + 1, L'x');
    for (bool firstBegun : {false, true}) {
        SCOPED_TRACE(firstBegun ? "the first part is being written" : "nobody has begun the first part");
        Collector out;
        OrderedOutput output(out.Sink());
        OrderedOutput::Part* first = output.Append();
        OrderedOutput::Part* second = output.Append();
        KernelHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        WorkPool pool(2);
        JobGroup jobs;
        if (firstBegun) {
            output.Begin(first);
            // Its writer starts once the second part holds something back.
            pool.Post(jobs, [&] {
                WaitForSingleObject(release.get(), INFINITE);
                output.Write(first, L"first");
                output.Finish(first);
            });
        }
        // Three halves of the limit: past it the second part waits for its turn while the first is
        // being written, and holds on when nobody writes the first (this thread would, next).
        output.Begin(second);
        output.Write(second, large);
        if (firstBegun) SetEvent(release.get());
        output.Write(second, large);
        output.Write(second, large);
        output.Finish(second);
        if (!firstBegun) {
            output.Begin(first);
            output.Write(first, L"first");
            output.Finish(first);
        }
        pool.Wait(jobs);
        ASSERT_EQ(out.texts.size(), 4u);
        EXPECT_EQ(out.texts[0], L"first");
        for (size_t i = 1; i < 4; ++i) EXPECT_EQ(out.texts[i].size(), large.size());
    }
}

}  // namespace
