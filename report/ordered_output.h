// Text that several threads write at once and that comes out in one order fixed ahead: the blocks of a
// registry walk shared out between threads, the lines of a listing whose digests are taken on others.
//
// The text is cut into parts, in a chain that gives their order. The part whose turn it is writes
// straight through; the parts after it hold what they write until their turn comes, which is when
// every part before them is finished. A part's place is fixed when it is made: at the end of the
// chain, or right after a part that is still being written (the later half of what that part had left
// to do). What the later parts hold back is bounded: past kHeldBackLimit characters a part waits for
// its turn, while the part whose turn it is is being written by some thread.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

#include "util/work_pool.h"

class OrderedOutput {
public:
    using Sink = std::function<void(const std::wstring& text)>;
    struct Part;

    // Characters that the parts after the one whose turn it is may hold back, all together.
    static constexpr size_t kHeldBackLimit = size_t{8} << 20;

    explicit OrderedOutput(Sink sink);
    OrderedOutput(const OrderedOutput&) = delete;
    OrderedOutput& operator=(const OrderedOutput&) = delete;
    // Every part is finished by then; anything still held goes out.
    ~OrderedOutput();

    // A new part at the end of the chain; its turn comes once every part before it is finished.
    Part* Append();
    // A new part right after `part`, before every part that came after it.
    Part* InsertAfter(Part* part);
    // The thread that calls this writes the part from now on: the parts after it may wait for it.
    void Begin(Part* part);
    // Adds `text` to the part: out at once in its turn, held until then, and in either case handed to the
    // sink on its own. Only one thread writes a part.
    void Write(Part* part, const std::wstring& text);
    // Whether the part's turn has come: every part before it is finished, so nothing before it in the
    // output is still to be written.
    bool InTurn(const Part* part) const;
    // Calls `start` once the part's turn has come: here and now if it has, otherwise on the thread that
    // passes the turn to it, with the output's lock held (so `start` may only queue work, such as the
    // job that writes the part).
    void WhenTurn(Part* part, std::function<void()> start);
    // Nothing more comes from the part; if its turn had come, the turn passes on.
    void Finish(Part* part);
    // `text` as a finished part at the end: out at once when nothing before it is unfinished.
    void WriteLast(const std::wstring& text);
    // Returns once at most `most` parts are unfinished or held, running the pool's queued jobs on this
    // thread meanwhile. For the thread that makes the parts, while no job of its own runs on it.
    void WaitForRoom(WorkPool& pool, size_t most);

private:
    void PassTurn();  // with the lock held

    Sink sink_;
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE turnPassed_ = CONDITION_VARIABLE_INIT;
    Part* turn_ = nullptr;  // the first part not yet out; the chain goes on from it
    Part* last_ = nullptr;
    size_t parts_ = 0;  // in the chain
    size_t heldBack_ = 0;
};
