#include "report/ordered_units.h"

#include <atomic>
#include <memory>
#include <vector>

#include "report/log.h"
#include "util/handles.h"

namespace {

// Characters the units after the one being written may hold back, all together.
constexpr size_t kHeldBackLimit = size_t{8} << 20;

struct Units;

class BufferedSink final : public UnitSink {
public:
    BufferedSink(Units& units, size_t unit) : units_(units), unit_(unit) {}
    void Write(const std::wstring& text) override;

    std::atomic<bool> direct{false};  // its turn has come: it writes straight to the report
    std::wstring held;                // written before its turn, under the lock
    bool finished = false;

private:
    Units& units_;
    size_t unit_;
};

struct Units {
    FILE* report;
    const std::function<void(size_t, UnitSink&)>* work;
    std::vector<std::unique_ptr<BufferedSink>> sinks;
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE turnChanged = CONDITION_VARIABLE_INIT;
    size_t turn = 0;  // the unit that writes straight through
    size_t heldBack = 0;

    // With the lock held: writes out what the finished units at the turn held, and hands the turn on
    // to the first unit that is not finished (its held text written first).
    void PassTurn() {
        while (turn < sinks.size()) {
            BufferedSink& sink = *sinks[turn];
            if (!sink.held.empty()) {
                Log(sink.held.c_str(), report);
                heldBack -= sink.held.size();
                std::wstring().swap(sink.held);
            }
            if (!sink.finished) {
                sink.direct.store(true, std::memory_order_release);
                break;
            }
            ++turn;
        }
        WakeAllConditionVariable(&turnChanged);
    }

    void Finish(size_t unit) {
        AcquireSRWLockExclusive(&lock);
        sinks[unit]->finished = true;
        if (unit == turn) PassTurn();
        ReleaseSRWLockExclusive(&lock);
    }
};

void BufferedSink::Write(const std::wstring& text) {
    if (text.empty()) return;
    if (direct.load(std::memory_order_acquire)) {
        Log(text.c_str(), units_.report);
        return;
    }
    AcquireSRWLockExclusive(&units_.lock);
    // Too much held back already: wait for the turn rather than hold more.
    while (!direct.load(std::memory_order_relaxed) && units_.heldBack + text.size() > kHeldBackLimit) {
        SleepConditionVariableSRW(&units_.turnChanged, &units_.lock, INFINITE, 0);
    }
    if (direct.load(std::memory_order_relaxed)) {
        ReleaseSRWLockExclusive(&units_.lock);
        Log(text.c_str(), units_.report);
        return;
    }
    held += text;
    units_.heldBack += text.size();
    ReleaseSRWLockExclusive(&units_.lock);
}

// The units still to take, handed out in order to every thread that asks.
struct Taker {
    const std::function<void(size_t)>* work;
    size_t count;
    std::atomic<size_t> next{0};

    void TakeAll() {
        for (size_t unit = next++; unit < count; unit = next++) (*work)(unit);
    }
    static DWORD WINAPI Run(void* self) {
        static_cast<Taker*>(self)->TakeAll();
        return 0;
    }
};

}  // namespace

void RunUnits(size_t count, const std::function<void(size_t unit)>& work) {
    Taker taker;
    taker.work = &work;
    taker.count = count;
    std::vector<KernelHandle> helpers;
    for (unsigned thread = 1; thread < kUnitThreads && thread < count; ++thread) {
        KernelHandle helper(CreateThread(nullptr, 0, &Taker::Run, &taker, 0, nullptr));
        if (helper) helpers.push_back(std::move(helper));
    }
    taker.TakeAll();
    for (const KernelHandle& helper : helpers) WaitForSingleObject(helper.get(), INFINITE);
}

void RunUnitsInOrder(FILE* report, size_t count, const std::function<void(size_t unit, UnitSink& sink)>& work) {
    Units units;
    units.report = report;
    units.work = &work;
    for (size_t unit = 0; unit < count; ++unit) units.sinks.push_back(std::make_unique<BufferedSink>(units, unit));
    if (count == 0) return;
    units.sinks[0]->direct = true;
    RunUnits(count, [&units](size_t unit) {
        (*units.work)(unit, *units.sinks[unit]);
        units.Finish(unit);
    });
}
