#include "tests/support/pools.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

WorkPool& ScanSizedPool() {
    static WorkPool pool(DefaultPoolSize());
    return pool;
}

std::wstring RunHandler(PayloadHandler handler, const std::wstring& line, WorkPool& pool, const HandlerCall& around,
                        std::wstring* lineAfter) {
    std::wstring copy = line;
    std::wstring text = CaptureReport([&](FILE* report) {
        const std::function<void()> call = [&] { handler(copy.data(), report, pool); };
        around ? around(call) : call();
    });
    if (lineAfter != nullptr) *lineAfter = copy.c_str();
    return text;
}

std::wstring Interpret(const std::wstring& script, LineObserver observer, void* observerContext) {
    std::wstring copy = script;
    return CaptureReport(
        [&](FILE* report) { ParseScript(copy.data(), report, ScanSizedPool(), observer, observerContext); });
}

void EndsWithinOrStops(const std::string& what, const std::function<void()>& work) {
    KernelHandle thread(CreateThread(
        nullptr, 0,
        [](void* work) -> DWORD {
            (*static_cast<const std::function<void()>*>(work))();
            return 0;
        },
        const_cast<std::function<void()>*>(&work), 0, nullptr));
    if (!thread) {
        ADD_FAILURE() << "cannot start a thread for " << what;
        return;
    }
    if (WaitForSingleObject(thread.get(), kHangBoundMs) != WAIT_OBJECT_0) {
        fprintf(stderr, "FATAL: %s did not end within %lu s\n", what.c_str(), kHangBoundMs / 1000);
        fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    }
}

const char* LoadName(MachineLoad load) {
    switch (load) {
        case MachineLoad::kAsItIs:
            return "as it is";
        case MachineLoad::kOneCore:
            return "one core";
        case MachineLoad::kBusy:
            return "a busy core beside";
    }
    return "?";
}

UnderLoad::UnderLoad(MachineLoad load) {
    if (load == MachineLoad::kOneCore) {
        DWORD_PTR system = 0;
        if (!GetProcessAffinityMask(GetCurrentProcess(), &oldMask_, &system)) oldMask_ = 0;
        if (!SetProcessAffinityMask(GetCurrentProcess(), 1)) ADD_FAILURE() << "cannot hold the process to one core";
    }
    if (load == MachineLoad::kBusy) {
        busy_.reset(CreateThread(nullptr, 0, &UnderLoad::Spin, this, 0, nullptr));
        if (!busy_) ADD_FAILURE() << "cannot start a busy thread";
    }
}

UnderLoad::~UnderLoad() {
    stop_ = true;
    if (busy_) WaitForSingleObject(busy_.get(), INFINITE);
    if (oldMask_ != 0) SetProcessAffinityMask(GetCurrentProcess(), oldMask_);
}

DWORD WINAPI UnderLoad::Spin(void* self) {
    auto* load = static_cast<UnderLoad*>(self);
    volatile unsigned long long sum = 0;
    while (!load->stop_.load(std::memory_order_relaxed)) sum = sum + 1;
    return 0;
}
