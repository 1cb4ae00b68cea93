#include "report/ordered_units.h"

#include <windows.h>

#include <atomic>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "util/handles.h"

namespace {

// Characters the units after the one whose turn it is may hold back, all together.
constexpr size_t kHeldBackLimit = size_t{8} << 20;
// Steps a section takes (calls to Wanted) before it makes threads to share its work: a small walk is
// over before a thread would have started.
constexpr unsigned kStepsBeforeHelpers = 256;

struct Units;

class Unit final : public UnitSink {
public:
    Unit(Units& units, Work job) : work(std::move(job)), units_(units) {}
    void Write(const std::wstring& piece) override;
    bool Wanted() const override;
    void Split(Work job) override;

    Work work;
    Unit* next = nullptr;             // the unit after this one in the output
    std::atomic<bool> direct{false};  // its turn has come: its pieces go straight out
    std::vector<std::wstring> held;   // pieces written before its turn, under the lock
    bool taken = false;
    bool finished = false;

private:
    Units& units_;
};

struct Units {
    const std::function<void(const std::wstring&)>* out = nullptr;
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    std::deque<std::unique_ptr<Unit>> all;
    std::deque<Unit*> pending;  // not yet taken, in the order they came
    std::atomic<size_t> pendingCount{0};
    std::atomic<unsigned> idle{0};     // threads waiting for a unit
    std::atomic<unsigned> threads{1};  // this one and the helpers made so far
    std::atomic<unsigned> steps{0};
    std::vector<KernelHandle> helpers;
    bool done = false;
    Unit* turn = nullptr;
    size_t heldBack = 0;

    // With the lock held: puts out what the units at the turn held and moves the turn on past those
    // that are finished, to the first that is not (which writes straight out from then on).
    void PassTurn() {
        while (turn != nullptr) {
            for (const std::wstring& piece : turn->held) {
                (*out)(piece);
                heldBack -= piece.size();
            }
            std::vector<std::wstring>().swap(turn->held);
            if (!turn->finished) {
                turn->direct.store(true, std::memory_order_release);
                if (!turn->taken) {  // next to be taken: the units after it may be waiting for it
                    for (auto place = pending.begin(); place != pending.end(); ++place) {
                        if (*place == turn) {
                            pending.erase(place);
                            break;
                        }
                    }
                    pending.push_front(turn);
                }
                break;
            }
            turn = turn->next;
        }
        WakeAllConditionVariable(&changed);
    }

    // The next unit to work on; null once every thread is out of work, so no unit can come any more.
    Unit* Take() {
        AcquireSRWLockExclusive(&lock);
        Unit* unit = nullptr;
        for (;;) {
            if (!pending.empty()) {
                unit = pending.front();
                pending.pop_front();
                --pendingCount;
                unit->taken = true;
                break;
            }
            if (done) break;
            if (idle.load() + 1 >= threads) {
                done = true;
                WakeAllConditionVariable(&changed);
                break;
            }
            ++idle;
            SleepConditionVariableSRW(&changed, &lock, INFINITE, 0);
            --idle;
        }
        ReleaseSRWLockExclusive(&lock);
        return unit;
    }

    // With the lock held: a thread more, while there may be more. A working thread makes it, so the
    // section cannot end meanwhile.
    void AddHelper() {
        if (threads.load() >= kUnitThreads) return;
        KernelHandle helper(CreateThread(nullptr, 0, &Units::Helper, this, 0, nullptr));
        if (!helper) return;
        helpers.push_back(std::move(helper));
        ++threads;
    }

    void Offer(Unit* unit) {  // with the lock held
        pending.push_back(unit);
        ++pendingCount;
        if (idle.load() < pendingCount.load()) AddHelper();
        WakeAllConditionVariable(&changed);
    }

    void WorkOn() {
        while (Unit* unit = Take()) {
            unit->work(*unit);
            unit->work = nullptr;
            AcquireSRWLockExclusive(&lock);
            unit->finished = true;
            if (unit == turn) PassTurn();
            ReleaseSRWLockExclusive(&lock);
        }
    }

    static DWORD WINAPI Helper(void* self) {
        static_cast<Units*>(self)->WorkOn();
        return 0;
    }
};

void Unit::Write(const std::wstring& piece) {
    if (direct.load(std::memory_order_acquire)) {
        (*units_.out)(piece);
        return;
    }
    AcquireSRWLockExclusive(&units_.lock);
    // Too much held back already: wait for the turn rather than hold more, as long as the unit whose
    // turn it is runs (one still waiting to be taken might wait for this very thread).
    while (!direct.load(std::memory_order_relaxed) && units_.heldBack != 0 &&
           units_.heldBack + piece.size() > kHeldBackLimit && units_.turn != nullptr && units_.turn->taken) {
        SleepConditionVariableSRW(&units_.changed, &units_.lock, INFINITE, 0);
    }
    if (direct.load(std::memory_order_relaxed)) {
        ReleaseSRWLockExclusive(&units_.lock);
        (*units_.out)(piece);
        return;
    }
    held.push_back(piece);
    units_.heldBack += piece.size();
    ReleaseSRWLockExclusive(&units_.lock);
}

bool Unit::Wanted() const {
    if (units_.idle.load(std::memory_order_relaxed) > units_.pendingCount.load()) return true;
    // Room for a thread more, once the section has shown it is not small.
    return units_.threads.load(std::memory_order_relaxed) < kUnitThreads &&
           units_.pendingCount.load(std::memory_order_relaxed) == 0 && ++units_.steps > kStepsBeforeHelpers;
}

void Unit::Split(Work job) {
    auto unit = std::make_unique<Unit>(units_, std::move(job));
    Unit* added = unit.get();
    AcquireSRWLockExclusive(&units_.lock);
    added->next = next;
    next = added;
    units_.all.push_back(std::move(unit));
    units_.Offer(added);
    ReleaseSRWLockExclusive(&units_.lock);
}

}  // namespace

void RunUnitsInOrder(const std::function<void(const std::wstring& piece)>& out, size_t count,
                     const std::function<void(size_t unit, UnitSink& sink)>& work) {
    if (count == 0) return;
    Units units;
    units.out = &out;
    Unit* last = nullptr;
    for (size_t index = 0; index < count; ++index) {
        units.all.push_back(std::make_unique<Unit>(units, [&work, index](UnitSink& sink) { work(index, sink); }));
        Unit* unit = units.all.back().get();
        if (last != nullptr) last->next = unit;
        last = unit;
        units.pending.push_back(unit);
    }
    units.pendingCount = count;
    units.turn = units.all.front().get();
    units.turn->direct = true;

    AcquireSRWLockExclusive(&units.lock);
    for (size_t unit = 1; unit < count; ++unit) units.AddHelper();  // the units there are from the start
    ReleaseSRWLockExclusive(&units.lock);
    units.WorkOn();
    // Once this thread is out of work, every thread is: no helper is made any more.
    for (const KernelHandle& helper : units.helpers) WaitForSingleObject(helper.get(), INFINITE);
}
