// Units of one section (the sub-trees of a key, say) worked on by several threads at once and written
// in order.
//
// Under Wine each registry call waits for the wineserver's answer, so one walk leaves the machine's
// cores mostly idle; walks over different sub-trees side by side take a fraction of the time (four of
// them took 0.4 of one on two cores). The lowest unit not yet finished writes straight to the report;
// a later one writes into a buffer of its own, handed on when its turn comes, and waits for that turn
// once the buffers pass a limit, so memory stays bounded.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

class UnitSink;

// Threads that take units at once, this one included: more than the cores, since each mostly waits.
constexpr unsigned kUnitThreads = 4;

// Runs `work(unit)` for every unit from 0 to `count - 1`, taken in order by this thread and up to
// kUnitThreads - 1 more; returns when all have run. Threads that cannot be made leave the units to
// the others (to this one alone, at worst).
void RunUnits(size_t count, const std::function<void(size_t unit)>& work);

// The same with what each unit writes into its sink reaching `report` in unit order; returns when all
// is written.
void RunUnitsInOrder(FILE* report, size_t count, const std::function<void(size_t unit, UnitSink& sink)>& work);

// Where one unit's text goes; written to by one thread at a time.
class UnitSink {
public:
    virtual void Write(const std::wstring& text) = 0;

protected:
    ~UnitSink() = default;
};
