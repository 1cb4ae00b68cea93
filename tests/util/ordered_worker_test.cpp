// The second thread the walks hand their reading to: every job once, in the order posted.
#include "util/ordered_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

namespace {

// Posts `count` jobs that each record their number and fail if another job is running beside them,
// with a pause now and then so that the queue fills and drains.
void RunJobs(OrderedWorker& worker, int count, std::vector<int>& ran, std::atomic<int>& running) {
    for (int i = 0; i < count; ++i) {
        worker.Post([i, &ran, &running] {
            if (running.fetch_add(1) != 0) ADD_FAILURE() << "two jobs ran at once";
            if (i % 97 == 0) Sleep(1);
            ran.push_back(i);
            running.fetch_sub(1);
        });
    }
}

TEST(OrderedWorker, RunsEveryJobOnceInOrderOneAtATimeWhateverTheLimit) {
    struct Case {
        size_t limit;
        size_t runHereFirst;  // jobs run in Post before the thread starts
    };
    for (const Case& c : {Case{0, 0}, Case{1, 0}, Case{2, 3}, Case{512, 0}, Case{512, 1999}, Case{512, 5000}}) {
        SCOPED_TRACE(testing::Message() << "limit " << c.limit << ", run here first " << c.runHereFirst);
        std::vector<int> ran;
        std::atomic<int> running{0};
        {
            OrderedWorker worker(c.limit, c.runHereFirst);
            RunJobs(worker, 2000, ran, running);
            worker.Drain();
            ASSERT_EQ(ran.size(), 2000u);  // Drain waited for the last one
            RunJobs(worker, 500, ran, running);
        }  // the destructor runs what is left
        ASSERT_EQ(ran.size(), 2500u);
        for (int i = 0; i < 2500; ++i) ASSERT_EQ(ran[i], i < 2000 ? i : i - 2000) << "at " << i;
    }
}

TEST(OrderedWorker, JobsRunOnAnotherThreadAndReleaseWhatTheyHoldBeforeTheNext) {
    OrderedWorker worker(4);
    DWORD poster = GetCurrentThreadId();
    DWORD runner = poster;
    auto held = std::make_shared<int>(7);
    std::weak_ptr<int> watch = held;
    worker.Post([&runner, held] {
        runner = GetCurrentThreadId();
        static_cast<void>(held);
    });
    held.reset();
    bool releasedBeforeNext = false;
    worker.Post([&] { releasedBeforeNext = watch.expired(); });
    worker.Drain();
    EXPECT_NE(runner, poster);
    EXPECT_TRUE(releasedBeforeNext);

    OrderedWorker late(4, 1);  // the first job runs in Post, the second on the thread
    DWORD first = 0;
    DWORD second = 0;
    late.Post([&first] { first = GetCurrentThreadId(); });
    late.Post([&second] { second = GetCurrentThreadId(); });
    late.Drain();
    EXPECT_EQ(first, poster);
    EXPECT_NE(second, poster);
}

}  // namespace
