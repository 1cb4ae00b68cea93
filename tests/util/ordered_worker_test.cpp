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
    for (size_t limit : {size_t{0}, size_t{1}, size_t{2}, size_t{512}}) {
        SCOPED_TRACE(limit);
        std::vector<int> ran;
        std::atomic<int> running{0};
        {
            OrderedWorker worker(limit);
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
}

}  // namespace
