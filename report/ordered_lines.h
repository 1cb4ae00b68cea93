// Lines written to the report in the order they were added, while the end of some of them (a file's
// digest) is worked out on other threads.
//
// Under Wine each open and read of a file waits for the wineserver's answer, so a listing that
// digests its files one after another leaves the cores mostly idle. Here several files are read at
// once and the walk goes on meanwhile; a line is written as soon as it and every line before it are
// complete, so the report keeps the walk's order and its bytes.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <deque>
#include <functional>
#include <string>

#include "util/ordered_worker.h"

class OrderedLines {
public:
    using Finish = std::function<void(std::wstring& text)>;

    // `threads` workers finish lines in turn; each runs its first `runHereFirst` in Add itself, so a
    // short listing makes no thread. Without workers, lines are finished in Add.
    OrderedLines(FILE* report, size_t threads, size_t runHereFirst);
    OrderedLines(const OrderedLines&) = delete;
    OrderedLines& operator=(const OrderedLines&) = delete;
    // Writes every line still held.
    ~OrderedLines();

    // `text` as it is, once every line added before it is written.
    void Add(std::wstring text);
    // `text` with what `finish` appends to it on a worker thread.
    void Add(std::wstring text, Finish finish);
    // Returns once every line added so far is written.
    void WriteAll();

private:
    struct Line {
        std::wstring text;
        bool done;  // under lock_ once a worker has it
    };

    // Writes the complete lines at the front; waits for the front one while more than `held` remain.
    void WriteComplete(size_t held);

    FILE* const report_;
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE lineDone_ = CONDITION_VARIABLE_INIT;
    bool writerWaits_ = false;
    // Added and not yet written, oldest first. Only the adding thread adds and removes lines; a deque
    // keeps each line in its place meanwhile, so a worker can fill it.
    std::deque<Line> lines_;
    WorkerPool workers_;  // last: it ends before the lines its jobs fill
};
