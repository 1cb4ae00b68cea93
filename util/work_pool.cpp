#include "util/work_pool.h"

#include <bit>
#include <utility>

unsigned PoolSizeFor(DWORD_PTR affinityMask, unsigned requested) {
    if (requested != 0) return requested < kMostPoolThreads ? requested : kMostPoolThreads;
    const auto cores = static_cast<unsigned>(std::popcount(static_cast<unsigned long long>(affinityMask)));
    if (cores <= 1) return 1;
    return 2 * cores < kDefaultPoolCap ? 2 * cores : kDefaultPoolCap;
}

unsigned DefaultPoolSize(unsigned requested) {
    // The process mask, not the machine's processor count: a process held to one core (start /affinity,
    // a job object, taskset under Wine) is told so only here.
    DWORD_PTR processMask = 0;
    DWORD_PTR systemMask = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask)) processMask = 1;
    return PoolSizeFor(processMask, requested);
}

WorkPool& OnThisThread() {
    static WorkPool one;
    return one;
}

WorkPool::WorkPool(unsigned size, ThreadScope scope) : scope_(std::move(scope)) {
    if (size > kMostPoolThreads) size = kMostPoolThreads;
    for (unsigned i = 1; i < size; ++i) {
        KernelHandle thread(CreateThread(nullptr, 0, &WorkPool::ThreadMain, this, 0, nullptr));
        if (thread) threads_.push_back(std::move(thread));
    }
}

WorkPool::~WorkPool() {
    if (threads_.empty()) return;
    {
        SrwExclusive hold(lock_);
        stop_ = true;
        WakeAllConditionVariable(&changed_);
    }
    for (const KernelHandle& thread : threads_) WaitForSingleObject(thread.get(), INFINITE);
}

void WorkPool::Queue(JobGroup& group, Job job) {
    ++group.unfinished;
    queue_.push_back(Queued{&group, std::move(job)});
    ++queued_;
    if (idle_.load() != 0) WakeConditionVariable(&changed_);
}

void WorkPool::Post(JobGroup& group, Job job) {
    if (!threads_.empty()) {
        SrwExclusive hold(lock_);
        if (queue_.size() < kMostQueued) return Queue(group, std::move(job));
    }
    job();
}

bool WorkPool::Offer(JobGroup& group, Job job) {
    if (threads_.empty()) return false;
    SrwExclusive hold(lock_);
    Queue(group, std::move(job));
    return true;
}

void WorkPool::Run(Queued& queued) {
    queued.job();
    queued.job = nullptr;  // what the job held goes before its group may count as done
    if (--queued.group->unfinished != 0) return;
    // The section's thread may be asleep in Wait for this very group.
    SrwExclusive hold(lock_);
    WakeAllConditionVariable(&changed_);
}

bool WorkPool::RunOne() {
    if (queued_.load() == 0) return false;
    Queued next{};
    {
        SrwExclusive hold(lock_);
        if (queue_.empty()) return false;
        next = std::move(queue_.front());
        queue_.pop_front();
        --queued_;
    }
    Run(next);
    return true;
}

void WorkPool::Wait(JobGroup& group) {
    while (group.unfinished.load() != 0) {
        if (RunOne()) continue;
        SrwExclusive hold(lock_);
        if (group.unfinished.load() != 0 && queue_.empty()) WaitForChange();
    }
}

void WorkPool::TakeJobs() {
    for (;;) {
        if (RunOne()) continue;
        SrwExclusive hold(lock_);
        if (!queue_.empty()) continue;
        if (stop_) return;
        WaitForChange();
    }
}

void WorkPool::WaitForChange() {
    ++idle_;
    SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    --idle_;
}

DWORD WINAPI WorkPool::ThreadMain(void* self) {
    auto* pool = static_cast<WorkPool*>(self);
    if (pool->scope_) {
        pool->scope_([pool] { pool->TakeJobs(); });
    } else {
        pool->TakeJobs();
    }
    return 0;
}
