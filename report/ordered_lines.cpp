#include "report/ordered_lines.h"

#include <utility>

#include "report/log.h"

namespace {

// Lines held before Add waits for the oldest: bounds the memory a slow file can make the rest take.
constexpr size_t kMostHeld = 4096;

}  // namespace

OrderedLines::OrderedLines(FILE* report, size_t threads, size_t runHereFirst)
    : report_(report), workers_(threads, runHereFirst) {}

OrderedLines::~OrderedLines() { WriteAll(); }

void OrderedLines::Add(std::wstring text) {
    if (lines_.empty()) {
        Log(text.c_str(), report_);
        return;
    }
    lines_.push_back({std::move(text), true});
    WriteComplete(kMostHeld);
}

void OrderedLines::Add(std::wstring text, Finish finish) {
    lines_.push_back({std::move(text), false});
    Line* line = &lines_.back();
    workers_.Post([this, line, finish = std::move(finish)] {
        finish(line->text);
        AcquireSRWLockExclusive(&lock_);
        line->done = true;
        if (writerWaits_) WakeConditionVariable(&lineDone_);
        ReleaseSRWLockExclusive(&lock_);
    });
    WriteComplete(kMostHeld);
}

void OrderedLines::WriteAll() { WriteComplete(0); }

void OrderedLines::WriteComplete(size_t held) {
    for (;;) {
        std::wstring out;
        AcquireSRWLockExclusive(&lock_);
        for (; !lines_.empty() && lines_.front().done; lines_.pop_front()) out += lines_.front().text;
        const bool more = lines_.size() > held;
        // What is complete is written before waiting for the rest.
        if (more && out.empty()) {
            writerWaits_ = true;
            SleepConditionVariableSRW(&lineDone_, &lock_, INFINITE, 0);
            writerWaits_ = false;
        }
        ReleaseSRWLockExclusive(&lock_);
        Log(out.c_str(), report_);
        if (!more) return;
    }
}
