// What the tests of work shared between threads need: pools of given sizes, pooled handlers run on a
// line, and the small and busy machines the program meets (one core, a core kept busy).
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "directives/directives.h"
#include "util/handles.h"
#include "util/work_pool.h"

// A pool of one thread, the caller's: everything runs where it is posted.
WorkPool& OneThread();

// Runs a handler that shares its work with `pool` on a writable copy of `line`; returns the report.
std::wstring RunPooledHandler(PooledHandler handler, const std::wstring& line, WorkPool& pool);
// The same with a pool of the size a scan on this machine has, as the program runs the handler.
std::wstring RunPooledHandler(PooledHandler handler, const std::wstring& line);

// Holds this process to its first core while it lives (threads made later run there too).
class OneCore {
public:
    OneCore();
    ~OneCore();
    OneCore(const OneCore&) = delete;
    OneCore& operator=(const OneCore&) = delete;

private:
    DWORD_PTR old_ = 0;
};

// A thread that keeps a core busy while it lives, as a program beside the scan would.
class BusyThread {
public:
    BusyThread();
    ~BusyThread();
    BusyThread(const BusyThread&) = delete;
    BusyThread& operator=(const BusyThread&) = delete;

private:
    static DWORD WINAPI Spin(void* self);
    std::atomic<bool> stop_{false};
    KernelHandle thread_;
};

// What `work` returns, run on a thread of its own. A run that has not ended after `boundMs` names
// `what` on standard error and ends the test program: a thread stuck in a walk cannot be stopped
// safely, and the rest of the program would meet what it holds.
std::wstring EndsWithinOrStops(const std::string& what, DWORD boundMs, const std::function<std::wstring()>& work);

// The machine shapes a shared piece of work is run under: as it is, held to one core, and with a
// busy thread beside it.
enum class MachineLoad { kAsItIs, kOneCore, kBusy };
constexpr MachineLoad kMachineLoads[] = {MachineLoad::kAsItIs, MachineLoad::kOneCore, MachineLoad::kBusy};
const char* LoadName(MachineLoad load);

// Puts the process under `load` while it lives.
class UnderLoad {
public:
    explicit UnderLoad(MachineLoad load);

private:
    std::unique_ptr<OneCore> oneCore_;
    std::unique_ptr<BusyThread> busy_;
};
