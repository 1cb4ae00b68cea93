// The main window's shared pieces: the run its thread hands to a worker, the two messages the worker
// posts back, and the script loader.
#pragma once

#include <windows.h>

#include <vector>

#include "app/scan/scan.h"
#include "resources/resource.h"

// Posted by the worker to its run's window, the only way it reaches the window: kLookStarted when it
// has taken the run over, kLookFinished as its last act, also when the run ended early (wParam: 1 after
// a complete run, 0 otherwise; lParam: the LookRun itself, handed back with its outcome, which the
// receiver deletes). The window's thread locks its controls when it hands a run over, shows the run
// under way on kLookStarted, and on kLookFinished gives the controls back and says why a run left no
// whole report.
constexpr UINT kLookStarted = WM_APP + 1;
constexpr UINT kLookFinished = WM_APP + 2;
// Posted by a worker whose run asks for it (LookRun::showProgress) at the progress steps of the run:
// wParam is the number (from 1) of the script line about to run, lParam the number of lines.
constexpr UINT kLookProgress = WM_APP + 3;

// One run as the window's thread hands it to a worker.
struct LookRun {
    HWND window = nullptr;        // told kLookStarted and kLookFinished
    std::vector<wchar_t> script;  // a terminated copy of the script box's text; the run splits it in place
    ScanOptions options;
    bool showProgress = false;  // also told kLookProgress, when the window has somewhere to show it
    // Set by the worker before it hands the run back.
    ScanOutcome outcome = ScanOutcome::EmptyScript;
    ScanResult result;
};

// The worker thread's routine: one scan run. `parameter` is a LookRun made with new, which the worker
// owns from then on and hands back with kLookFinished (or deletes, when the window is gone). Returns
// 1 after a complete run, 0 when it ended early (empty script, report not created or incomplete).
DWORD WINAPI Look(LPVOID parameter);

// Puts the script file at `path` into the script box of `window`, decoded as the console front end
// decodes it. A file that cannot be read shows an error box owned by `window`; the box keeps its text.
bool LoadScript(HWND window, const wchar_t* path);

// Ends `run` for the user once the window is given back. A complete run's report is opened in
// Notepad; a box owned by `window` first names the temporary folder's report when the desktop refused
// it, and afterwards names the report when Notepad cannot be started. A run that left no whole report
// (it could not be created, or part of it could not be written) is explained in a box instead. An
// empty script says nothing.
void FinishLook(HWND window, const LookRun& run);

// Asks for a text file with the standard open dialog and loads it. Nothing happens when cancelled.
void ChooseAndLoadScript(HWND window);
