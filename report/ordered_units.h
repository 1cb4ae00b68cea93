// Units of one section (a walk of a key's tree, say) worked on by several threads at once, and what
// they write handed on in order.
//
// Under Wine each registry call waits for the wineserver's answer, so one walk leaves the machine's
// cores mostly idle; walks over different sub-trees side by side take a fraction of the time (four of
// them took 0.4 of one on two cores). A walk that sees a thread waiting for work gives part of what it
// has left to a unit of its own (Split), so one large sub-tree is shared out too. The unit whose turn
// it is writes straight through; later ones write into buffers handed on when their turn comes, and
// wait for that turn once the buffers pass a limit, so memory stays bounded.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

// Threads that take units at once, this one included: more than the cores, since each mostly waits.
constexpr unsigned kUnitThreads = 4;

// What one unit writes to and gives work away through; used by one thread at a time.
class UnitSink {
public:
    using Work = std::function<void(UnitSink& sink)>;

    virtual void Write(const std::wstring& piece) = 0;
    // Whether a thread waits for work that nobody has offered yet.
    virtual bool Wanted() const = 0;
    // Makes `work` a unit of its own whose pieces come right after all of this unit's, so it must be
    // what would have come after everything this unit still writes.
    virtual void Split(Work work) = 0;

protected:
    ~UnitSink() = default;
};

// Runs `work(unit, sink)` for every unit from 0 to `count - 1`, and every unit these split off, on
// this thread and up to kUnitThreads - 1 more, with each piece written reaching `out` in unit order,
// one at a time. Returns when all are out. Threads that cannot be made leave the units to the others
// (to this one alone, at worst).
void RunUnitsInOrder(const std::function<void(const std::wstring& piece)>& out, size_t count,
                     const std::function<void(size_t unit, UnitSink& sink)>& work);
