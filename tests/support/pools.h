// What the tests of handlers and of work shared between threads need: a handler run on a line, a
// bound on work that may not end, and the small and busy machines the program meets (one core, a
// core kept busy).
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "directives/directives.h"
#include "script/interpreter.h"
#include "util/handles.h"
#include "util/work_pool.h"

// A pool of the size a scan on this machine has, made at its first use.
WorkPool& ScanSizedPool();
// Where a test has a handler called (on a small stack, say): it makes `call` once.
using HandlerCall = std::function<void(const std::function<void()>& call)>;
// Runs a payload handler on a writable copy of `line`, sharing its work with `pool` (by default as
// the program runs it), called through `around` when given; returns the report it wrote, and leaves
// what the handler made of the copy in `lineAfter` when given.
std::wstring RunHandler(PayloadHandler handler, const std::wstring& line, WorkPool& pool = ScanSizedPool(),
                        const HandlerCall& around = {}, std::wstring* lineAfter = nullptr);
// Runs the interpreter on a writable copy of `script` with that pool, telling `observer` of each line
// when given; returns the report it wrote.
std::wstring Interpret(const std::wstring& script, LineObserver observer = nullptr, void* observerContext = nullptr);

// How long work that must end may take before a test calls it hung: far longer than any case takes on
// a busy machine, and within the watchdog's bound on the calling case.
constexpr DWORD kHangBoundMs = 60000;
// Runs `work` on a thread of its own. Work that has not ended within kHangBoundMs names `what` on
// standard error and ends the test program: a thread stuck in a read or a walk cannot be stopped
// safely, and the rest of the program would meet what it holds.
void EndsWithinOrStops(const std::string& what, const std::function<void()>& work);

// The machine shapes a shared piece of work is run under: as it is, held to one core, and with a
// busy thread beside it.
enum class MachineLoad { kAsItIs, kOneCore, kBusy };
constexpr MachineLoad kMachineLoads[] = {MachineLoad::kAsItIs, MachineLoad::kOneCore, MachineLoad::kBusy};
const char* LoadName(MachineLoad load);

// Puts the process under `load` while it lives: holds it to its first core (threads made later run
// there too), or keeps a core busy on a thread of its own, as a program beside the scan would.
class UnderLoad {
public:
    explicit UnderLoad(MachineLoad load);
    ~UnderLoad();
    UnderLoad(const UnderLoad&) = delete;
    UnderLoad& operator=(const UnderLoad&) = delete;

private:
    static DWORD WINAPI Spin(void* self);
    DWORD_PTR oldMask_ = 0;  // the mask to put back, when held to one core
    std::atomic<bool> stop_{false};
    KernelHandle busy_;
};
