// The run's progress on the taskbar button: the values from the worker's line counts, and the calls.
#include "app/window/taskbar.h"

namespace {

constexpr unsigned long long kSteps = 100;

unsigned long long StepOf(size_t lineNumber, size_t lineCount) {
    return static_cast<unsigned long long>(lineNumber) * kSteps / lineCount;
}

}  // namespace

TaskbarProgress ProgressAtStart() { return {TBPF_INDETERMINATE, 0, 0}; }

TaskbarProgress ProgressBeforeLine(size_t lineNumber, size_t lineCount) {
    if (lineCount == 0 || lineNumber == 0) return ProgressAtStart();
    if (lineNumber > lineCount) lineNumber = lineCount;
    return {TBPF_NORMAL, lineNumber - 1, lineCount};
}

TaskbarProgress ProgressAtEnd() { return {TBPF_NOPROGRESS, 0, 0}; }

bool IsProgressStep(size_t lineNumber, size_t lineCount) {
    if (lineCount == 0 || lineNumber == 0 || lineNumber > lineCount) return false;
    return lineNumber == 1 || StepOf(lineNumber, lineCount) != StepOf(lineNumber - 1, lineCount);
}

UINT TaskbarButtonCreatedMessage() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarButtonCreated");
    return message;
}

void AllowTaskbarButtonCreated(HWND window) {
    ChangeWindowMessageFilterEx(window, TaskbarButtonCreatedMessage(), MSGFLT_ALLOW, nullptr);
}

ComPointer<ITaskbarList3> CreateTaskbarList() {
    ComPointer<ITaskbarList3> taskbar;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(taskbar.put())))) {
        return {};
    }
    if (FAILED(taskbar.get()->HrInit())) return {};
    return taskbar;
}

bool ShowTaskbarProgress(ITaskbarList3* taskbar, HWND window, const TaskbarProgress& progress) {
    if (taskbar == nullptr) return true;
    // The value first: setting it would turn an indeterminate or empty state into a normal one.
    if (progress.state == TBPF_NORMAL &&
        FAILED(taskbar->SetProgressValue(window, progress.completed, progress.total))) {
        return false;
    }
    return SUCCEEDED(taskbar->SetProgressState(window, progress.state));
}
