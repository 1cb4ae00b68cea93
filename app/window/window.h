// The main window's shared pieces: the button captions both threads set, the worker's routine and
// the script loader.
#pragma once

#include <windows.h>

#include "resources/resource.h"

extern const wchar_t kLookCaption[];
extern const wchar_t kScanningCaption[];

// Posted to the main window by every run of `Look` as its last act, also when it ended early. Until
// it arrives the window starts no other run.
constexpr UINT kLookFinished = WM_APP + 1;

// The worker thread's routine: one scan run of the script box's text. `parameter` is the main window.
// Returns 1 after a complete run, 0 when it ended early (empty box, report not created).
DWORD WINAPI Look(LPVOID parameter);

// Puts the script file at `path` into the script box of `window`, decoded as the console front end
// decodes it. A file that cannot be read shows an error box owned by `window`; the box keeps its text.
bool LoadScript(HWND window, const wchar_t* path);

// Asks for a text file with the standard open dialog and loads it. Nothing happens when cancelled.
void ChooseAndLoadScript(HWND window);
