#include "util/ordered_worker.h"

#include <utility>

namespace {

// The runner is woken once this many jobs wait, or at the latest after kRunnerNapMilliseconds, so
// that a walk posting job after job does not pay a wake-up for each one.
constexpr size_t kWakeBatch = 64;
constexpr DWORD kRunnerNapMilliseconds = 20;

}  // namespace

OrderedWorker::OrderedWorker(size_t limit, size_t runHereFirst)
    : limit_(limit == 0 ? 1 : limit), runHere_(runHereFirst) {}

OrderedWorker::~OrderedWorker() {
    if (!thread_) return;
    AcquireSRWLockExclusive(&lock_);
    stop_ = true;
    Wake();
    ReleaseSRWLockExclusive(&lock_);
    WaitForSingleObject(thread_.get(), INFINITE);
}

void OrderedWorker::Wake() {
    if (runnerAsleep_) WakeConditionVariable(&jobsReady_);
}

void OrderedWorker::Post(std::function<void()> job) {
    if (!tried_ && runHere_ == 0) {
        tried_ = true;
        queued_.reserve(limit_);
        thread_.reset(CreateThread(nullptr, 0, &OrderedWorker::Run, this, 0, nullptr));
    }
    if (!thread_) {
        if (runHere_ != 0) --runHere_;
        job();
        return;
    }
    AcquireSRWLockExclusive(&lock_);
    while (queued_.size() >= limit_) {
        posterWaits_ = true;
        Wake();
        SleepConditionVariableSRW(&roomOrDone_, &lock_, INFINITE, 0);
    }
    queued_.push_back(std::move(job));
    ++unfinished_;
    if (queued_.size() >= kWakeBatch || queued_.size() >= limit_) Wake();
    ReleaseSRWLockExclusive(&lock_);
}

void OrderedWorker::Drain() {
    if (!thread_) return;
    AcquireSRWLockExclusive(&lock_);
    while (unfinished_ != 0) {
        posterWaits_ = true;
        Wake();
        SleepConditionVariableSRW(&roomOrDone_, &lock_, INFINITE, 0);
    }
    ReleaseSRWLockExclusive(&lock_);
}

DWORD WINAPI OrderedWorker::Run(void* self) {
    auto* worker = static_cast<OrderedWorker*>(self);
    std::vector<std::function<void()>> batch;
    batch.reserve(worker->limit_);
    AcquireSRWLockExclusive(&worker->lock_);
    for (;;) {
        if (worker->queued_.empty()) {
            if (worker->stop_) break;
            worker->runnerAsleep_ = true;
            SleepConditionVariableSRW(&worker->jobsReady_, &worker->lock_, kRunnerNapMilliseconds, 0);
            worker->runnerAsleep_ = false;
            continue;
        }
        // The whole queue at once: the poster goes on filling an empty one meanwhile.
        batch.swap(worker->queued_);
        if (worker->posterWaits_) {
            worker->posterWaits_ = false;
            WakeAllConditionVariable(&worker->roomOrDone_);
        }
        ReleaseSRWLockExclusive(&worker->lock_);
        for (std::function<void()>& job : batch) {
            job();
            job = nullptr;  // what the job held goes before the next one starts
        }
        const size_t ran = batch.size();
        batch.clear();
        AcquireSRWLockExclusive(&worker->lock_);
        worker->unfinished_ -= ran;
        if (worker->unfinished_ == 0 && worker->posterWaits_) {
            worker->posterWaits_ = false;
            WakeAllConditionVariable(&worker->roomOrDone_);
        }
    }
    ReleaseSRWLockExclusive(&worker->lock_);
    return 0;
}

WorkerPool::WorkerPool(size_t threads, size_t runHereFirst) {
    for (size_t i = 0; i < threads; ++i) workers_.push_back(std::make_unique<OrderedWorker>(512, runHereFirst));
}

void WorkerPool::Post(std::function<void()> job) {
    if (workers_.empty()) {
        job();
        return;
    }
    workers_[next_++ % workers_.size()]->Post(std::move(job));
}

void WorkerPool::Drain() {
    for (const auto& worker : workers_) worker->Drain();
}
