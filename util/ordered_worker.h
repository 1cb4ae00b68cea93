// A second thread that runs jobs one after another in the order they were posted.
//
// Under Wine every registry call and every open waits for the wineserver's answer; a walk that hands
// the reading of what it found to a second thread keeps both cores busy while the report keeps its
// order, since one thread runs the jobs in turn.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "util/handles.h"

class OrderedWorker {
public:
    // At most `limit` jobs wait; Post waits beyond that, which bounds what the waiting jobs hold. The
    // first `runHereFirst` jobs run in Post itself, and only a later one starts the thread: making a
    // thread costs more than a few jobs gain from it.
    explicit OrderedWorker(size_t limit = 512, size_t runHereFirst = 0);
    OrderedWorker(const OrderedWorker&) = delete;
    OrderedWorker& operator=(const OrderedWorker&) = delete;
    // Runs every job still waiting, then ends the thread.
    ~OrderedWorker();

    // Queues `job` behind those posted before it. Before the thread starts, or without one (none could
    // be made), it runs here and now, so the order still holds.
    void Post(std::function<void()> job);
    // Returns once every job posted so far has run.
    void Drain();

private:
    static DWORD WINAPI Run(void* self);
    void Wake();  // with the lock held

    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE jobsReady_ = CONDITION_VARIABLE_INIT;   // for the runner
    CONDITION_VARIABLE roomOrDone_ = CONDITION_VARIABLE_INIT;  // for the poster
    std::vector<std::function<void()>> queued_;
    const size_t limit_;
    size_t runHere_;         // jobs still to run in Post before the thread starts
    bool tried_ = false;     // the thread was asked for
    size_t unfinished_ = 0;  // posted and not yet run
    bool runnerAsleep_ = false;
    bool posterWaits_ = false;
    bool stop_ = false;
    KernelHandle thread_;
};

// Several OrderedWorkers dealt jobs in turn, for jobs whose order among themselves does not matter
// (digests of files, each into its own place): each open and read waits for its answer, so several
// at once keep the cores busy. Without workers a job runs in Post.
class WorkerPool {
public:
    WorkerPool(size_t threads, size_t runHereFirst);
    void Post(std::function<void()> job);
    // Returns once every job posted so far has run.
    void Drain();

private:
    std::vector<std::unique_ptr<OrderedWorker>> workers_;
    size_t next_ = 0;
};
