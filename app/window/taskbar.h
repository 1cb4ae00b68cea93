// A run's progress on the window's taskbar button (ITaskbarList3, Windows 7 and later). Where the
// system has no such interface nothing is shown and nothing else changes.
#pragma once

// clang-format off
#include <windows.h>
#include <shobjidl.h>  // needs windows.h first
// clang-format on

#include <cstddef>

#include "util/handles.h"

// What the button shows: a state, and for TBPF_NORMAL how much of the total is done.
struct TaskbarProgress {
    TBPFLAG state = TBPF_NOPROGRESS;
    ULONGLONG completed = 0;
    ULONGLONG total = 0;
};

// The run was handed over; its line count is not known until the script is split.
TaskbarProgress ProgressAtStart();
// Line `lineNumber` (from 1) of `lineCount` is about to run: the lines before it are done.
TaskbarProgress ProgressBeforeLine(size_t lineNumber, size_t lineCount);
// The run is over, however it ended: the button goes back to showing nothing.
TaskbarProgress ProgressAtEnd();

// Whether the worker tells the window about line `lineNumber` of `lineCount`: the first line and then
// once per hundredth of the script, so that a long script cannot fill the window's message queue.
bool IsProgressStep(size_t lineNumber, size_t lineCount);

// The message the shell sends once it has made a window's taskbar button.
UINT TaskbarButtonCreatedMessage();

// An elevated window does not get messages from the shell unless it lets this one through.
void AllowTaskbarButtonCreated(HWND window);

// The taskbar interface for the calling thread, which has COM initialised; empty where the system
// has none.
ComPointer<ITaskbarList3> CreateTaskbarList();

// Shows `progress` on the button of `window`; false when the calls failed. Does nothing (true) when
// `taskbar` is null.
bool ShowTaskbarProgress(ITaskbarList3* taskbar, HWND window, const TaskbarProgress& progress);

// COM for the window's thread, in a single-threaded apartment, for as long as this lives.
class ComApartment {
public:
    ComApartment() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (initialised_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialised_;
};
