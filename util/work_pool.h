// The one pool of threads of a scan: made by the scan, sized from the cores the process may use, and
// lent to the sections that have work to share (registry walks, digests of listed and found files).
//
// Jobs wait in one queue and whichever thread is free takes the next, so a large file holds up only
// the thread that reads it. The thread that made the pool takes jobs too while it waits for them, and
// a pool of size 1 makes no thread at all: every job runs where it is posted.
//
// Every part of a walk (a registry walk, a listing whose digests other threads take) makes progress
// on any number of threads, by three rules:
// 1. No thread sleeps while a job waits that it could run: a job that cannot be queued (no thread, a
//    full queue) runs where it is posted, and a thread that waits for jobs (Wait, WaitForRoom of the
//    ordered output) runs queued ones meanwhile, its own section's among them.
// 2. A split keeps work on both sides: a walk gives work away only after it has entered a key of what
//    it was given, never its last key, and only to a thread that waits for work.
// 3. The part of the ordered output whose turn it is never waits for a later one: it writes straight
//    through, and later parts wait (for room to hold text, for a link to be decided) only while it is
//    being written; a walk that waits for its turn (only one that was handed work, so the pool has
//    threads) is queued by the thread that passes the turn on.
// So the part in turn is always being written, or is queued to be, and every turn passes.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <vector>

#include "util/handles.h"

// Threads a pool may take jobs on, the poster's included, whatever the machine or the caller asks.
constexpr unsigned kMostPoolThreads = 8;
// What a pool of the default size takes at most.
constexpr unsigned kDefaultPoolCap = 4;

// The pool size for a process allowed to run on the cores of `affinityMask`, or `requested` (at most
// kMostPoolThreads) when it is not 0; always at least 1. A process held to one core gets 1: there its
// threads could only take turns. Otherwise two per core, at most kDefaultPoolCap: a thread of a walk
// spends most of its time waiting for the system's answer to a call (under Wine, a round trip to the
// wine server), so two per core keep the cores busy; more only queue for them.
unsigned PoolSizeFor(DWORD_PTR affinityMask, unsigned requested);
// PoolSizeFor this process's affinity mask.
unsigned DefaultPoolSize(unsigned requested = 0);

class WorkPool;
// A pool of one, for callers without a scan: every job runs where it is posted. It has no thread and
// no state between calls, so any thread may use it.
WorkPool& OnThisThread();

// Jobs of one section, so that it can wait for its own.
struct JobGroup {
    std::atomic<size_t> unfinished{0};
};

class WorkPool {
public:
    using Job = std::function<void()>;
    // Runs `body` (the thread's whole life of taking jobs) inside the per-thread state the scan's own
    // thread is in.
    using ThreadScope = std::function<void(const std::function<void()>& body)>;

    // `size` threads take jobs, the one that makes the pool among them, so size - 1 are made; each
    // enters `scope` before its first job and leaves it after its last. Threads that cannot be made
    // leave their share to the others.
    explicit WorkPool(unsigned size = 1, ThreadScope scope = nullptr);
    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;
    // Every section waits for its jobs, so none is left by then.
    ~WorkPool();

    // Threads that take jobs, the poster's included.
    unsigned size() const { return static_cast<unsigned>(threads_.size()) + 1; }

    // Runs `job` on whichever thread is free first. With no thread, or with kMostQueued jobs already
    // waiting, it runs here and now.
    void Post(JobGroup& group, Job job);
    // Queues `job` whatever waits already; false (and nothing queued) when the pool has no thread.
    // For work handed over because a thread waits for it (see Wanted).
    bool Offer(JobGroup& group, Job job);
    // Whether a thread waits for work that nobody has posted yet.
    bool Wanted() const { return idle_.load(std::memory_order_relaxed) > queued_.load(std::memory_order_relaxed); }
    // Returns once every job of `group` has run, taking queued jobs on this thread meanwhile.
    void Wait(JobGroup& group);
    // Runs the oldest queued job on this thread; false when none waits.
    bool RunOne();

    static constexpr size_t kMostQueued = 1024;

private:
    struct Queued {
        JobGroup* group;
        Job job;
    };
    static DWORD WINAPI ThreadMain(void* self);
    void TakeJobs();
    void Run(Queued& queued);
    void Queue(JobGroup& group, Job job);  // with the lock held
    void WaitForChange();                  // with the lock held, until `changed_`

    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;  // a job came, a group ended, or the pool stops
    std::deque<Queued> queue_;
    std::atomic<size_t> queued_{0};
    std::atomic<unsigned> idle_{0};  // threads waiting for a job
    bool stop_ = false;
    ThreadScope scope_;
    std::vector<KernelHandle> threads_;
};
