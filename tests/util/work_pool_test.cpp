// The scan's one pool: its size from the cores, one queue that any free thread takes from, and every
// job run once inside the per-thread state of the scan.
#include "util/work_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "tests/support/pools.h"

namespace {

TEST(WorkPool, TheSizeComesFromTheCoresTheProcessMayUseOrFromTheCaller) {
    const struct {
        DWORD_PTR mask;
        unsigned requested;
        unsigned size;
    } kCases[] = {
        {0x1, 0, 1},                               // held to one core: no thread is made
        {0x2, 0, 1},                               // any one core
        {0x3, 0, 4},                               // two per core
        {0x5, 0, 4},   {0xF, 0, 4}, {0xFF, 0, 4},  // a small cap on large machines
        {0, 0, 1},                                 // no mask read
        {0x1, 4, 4},                               // the caller decides, cores or not
        {0xFF, 1, 1},                              // --threads 1: all on the scan's own thread
        {0x3, 200, 8},                             // at most kMostPoolThreads
    };
    for (const auto& row : kCases) {
        EXPECT_EQ(PoolSizeFor(row.mask, row.requested), row.size) << std::hex << row.mask << " " << row.requested;
    }
}

// Runs `count` jobs and returns the threads they ran on, one entry per job, after waiting for all.
std::vector<DWORD> RunAll(WorkPool& pool, int count) {
    std::vector<DWORD> ranOn(static_cast<size_t>(count), 0);
    JobGroup jobs;
    for (int i = 0; i < count; ++i) {
        pool.Post(jobs, [&ranOn, i] { ranOn[static_cast<size_t>(i)] = GetCurrentThreadId(); });
    }
    pool.Wait(jobs);
    return ranOn;
}

TEST(WorkPool, EveryJobRunsOnceAndAPoolOfOneRunsThemWhereTheyArePosted) {
    for (unsigned size : {1u, 2u, 4u}) {
        for (MachineLoad load : kMachineLoads) {
            SCOPED_TRACE(testing::Message() << size << " threads, " << LoadName(load));
            UnderLoad underLoad(load);
            WorkPool pool(size);
            EXPECT_EQ(pool.size(), size);
            const std::vector<DWORD> ranOn = RunAll(pool, 5000);  // more than the queue holds
            for (DWORD thread : ranOn) ASSERT_NE(thread, 0u) << "a job did not run";
            if (size == 1) {
                for (DWORD thread : ranOn) ASSERT_EQ(thread, GetCurrentThreadId());
                JobGroup none;
                EXPECT_FALSE(pool.Offer(none, [] { ADD_FAILURE() << "offered to no thread"; }));
                EXPECT_FALSE(pool.Wanted());
            }
        }
    }
}

TEST(WorkPool, OneLongJobHoldsUpOnlyItsOwnThread) {
    for (unsigned size : {2u, 4u}) {
        for (MachineLoad load : kMachineLoads) {
            SCOPED_TRACE(testing::Message() << size << " threads, " << LoadName(load));
            UnderLoad underLoad(load);
            WorkPool pool(size);
            KernelHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
            KernelHandle heldStarted(CreateEventW(nullptr, TRUE, FALSE, nullptr));
            KernelHandle othersDone(CreateEventW(nullptr, TRUE, FALSE, nullptr));
            constexpr int kOthers = 2000;
            std::atomic<int> done{0};
            std::atomic<bool> heldEnded{false};
            JobGroup jobs;
            // The first job waits for the event, as a read of a file of many gigabytes would.
            pool.Post(jobs, [&] {
                SetEvent(heldStarted.get());
                WaitForSingleObject(release.get(), INFINITE);
                heldEnded = true;
            });
            ASSERT_EQ(WaitForSingleObject(heldStarted.get(), kHangBoundMs), WAIT_OBJECT_0);
            for (int i = 0; i < kOthers; ++i) {
                pool.Post(jobs, [&] {
                    if (++done == kOthers) SetEvent(othersDone.get());
                });
            }
            // Every other job ends while the first is still held: the free threads take them, the
            // poster among them as the section's thread is while it waits. A deal of jobs to threads
            // in turn would leave some behind the held one for ever.
            while (pool.RunOne()) {
            }
            ASSERT_EQ(WaitForSingleObject(othersDone.get(), kHangBoundMs), WAIT_OBJECT_0) << done.load() << " ran";
            EXPECT_FALSE(heldEnded.load());
            SetEvent(release.get());
            pool.Wait(jobs);
            EXPECT_TRUE(heldEnded.load());
        }
    }
}

thread_local bool insideScope = false;

TEST(WorkPool, EveryThreadEntersTheScopeBeforeItsFirstJobAndLeavesItAfterItsLast) {
    std::atomic<int> entered{0};
    std::atomic<int> left{0};
    std::atomic<int> outside{0};
    {
        WorkPool pool(4, [&](const std::function<void()>& body) {
            insideScope = true;
            ++entered;
            body();
            insideScope = false;
            ++left;
        });
        // Jobs that run on the posting thread (the queue full, or taken while it waits) run in the
        // state its own caller set up, as the scan's thread does.
        insideScope = true;
        JobGroup jobs;
        for (int i = 0; i < 6000; ++i) {
            pool.Post(jobs, [&] {
                if (!insideScope) ++outside;
            });
        }
        pool.Wait(jobs);
        insideScope = false;
    }
    EXPECT_EQ(entered.load(), 3);
    EXPECT_EQ(left.load(), 3);
    EXPECT_EQ(outside.load(), 0);
}

}  // namespace
