#include "report/ordered_output.h"

#include <atomic>
#include <utility>
#include <vector>

struct OrderedOutput::Part {
    Part* next = nullptr;
    std::vector<std::wstring> held;   // written before its turn, under the lock; each goes out on its own
    std::atomic<bool> direct{false};  // its turn has come: what it writes goes straight out
    bool running = false;             // a thread writes it now
    bool finished = false;
    std::function<void()> onTurn;  // called once its turn comes
};

OrderedOutput::OrderedOutput(Sink sink) : sink_(std::move(sink)) {}

OrderedOutput::~OrderedOutput() {
    while (turn_ != nullptr) {
        Part* part = turn_;
        turn_ = part->next;
        for (const std::wstring& text : part->held) sink_(text);
        delete part;
    }
}

OrderedOutput::Part* OrderedOutput::Append() {
    auto* part = new Part;
    SrwExclusive hold(lock_);
    if (last_ == nullptr) {
        turn_ = part;
        part->direct = true;
    } else {
        last_->next = part;
    }
    last_ = part;
    ++parts_;
    return part;
}

OrderedOutput::Part* OrderedOutput::InsertAfter(Part* part) {
    auto* added = new Part;
    SrwExclusive hold(lock_);
    added->next = part->next;
    part->next = added;
    if (last_ == part) last_ = added;
    ++parts_;
    return added;
}

void OrderedOutput::Begin(Part* part) {
    SrwExclusive hold(lock_);
    part->running = true;
}

void OrderedOutput::Write(Part* part, const std::wstring& text) {
    if (!part->direct.load(std::memory_order_acquire)) {
        SrwExclusive hold(lock_);
        // Too much held back already: wait for the turn rather than hold more, as long as the part whose
        // turn it is is being written.
        while (!part->direct.load(std::memory_order_relaxed) && heldBack_ != 0 &&
               heldBack_ + text.size() > kHeldBackLimit && turn_->running) {
            SleepConditionVariableSRW(&turnPassed_, &lock_, INFINITE, 0);
        }
        if (!part->direct.load(std::memory_order_relaxed)) {
            part->held.push_back(text);
            heldBack_ += text.size();
            return;
        }
    }
    sink_(text);
}

bool OrderedOutput::InTurn(const Part* part) const { return part->direct.load(std::memory_order_acquire); }

void OrderedOutput::WhenTurn(Part* part, std::function<void()> start) {
    {
        SrwExclusive hold(lock_);
        if (!part->direct.load(std::memory_order_relaxed)) {
            part->onTurn = std::move(start);
            return;
        }
    }
    start();
}

void OrderedOutput::Finish(Part* part) {
    SrwExclusive hold(lock_);
    part->running = false;
    part->finished = true;
    if (part == turn_) PassTurn();
}

void OrderedOutput::WriteLast(const std::wstring& text) {
    SrwExclusive hold(lock_);
    if (turn_ == nullptr) {
        sink_(text);
        return;
    }
    auto* part = new Part;
    part->held.push_back(text);
    part->finished = true;
    heldBack_ += text.size();
    last_->next = part;
    last_ = part;
    ++parts_;
}

void OrderedOutput::PassTurn() {
    while (turn_ != nullptr) {
        for (const std::wstring& text : turn_->held) {
            sink_(text);
            heldBack_ -= text.size();
        }
        std::vector<std::wstring>().swap(turn_->held);
        if (!turn_->finished) {
            turn_->direct.store(true, std::memory_order_release);
            if (turn_->onTurn) std::exchange(turn_->onTurn, nullptr)();
            break;
        }
        Part* done = turn_;
        turn_ = done->next;
        if (turn_ == nullptr) last_ = nullptr;
        delete done;
        --parts_;
    }
    WakeAllConditionVariable(&turnPassed_);
}

void OrderedOutput::WaitForRoom(WorkPool& pool, size_t most) {
    for (;;) {
        {
            SrwExclusive hold(lock_);
            if (parts_ <= most) return;
        }
        if (pool.RunOne()) continue;
        SrwExclusive hold(lock_);
        if (parts_ > most) SleepConditionVariableSRW(&turnPassed_, &lock_, INFINITE, 0);
    }
}
