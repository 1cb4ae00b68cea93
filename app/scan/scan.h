// The headless scan pipeline that both front ends run: create the report, state the privileges,
// interpret the script, write the end marker, close the report and, when asked, open it in Notepad.
#pragma once

#include <cstdio>

#include "script/interpreter.h"

struct ScanOptions {
    const wchar_t* reportPath = nullptr;  // null: the desktop report
    bool openReport = false;              // start Notepad on the finished report
    LineObserver observer = nullptr;      // told about each script line before it runs
    void* observerContext = nullptr;
};

enum class ScanOutcome {
    Completed,
    EmptyScript,       // nothing to do: no report is made
    ReportNotCreated,  // the report file could not be created
};

// Runs one scan of `script`, which is split in place (the caller only frees it afterwards). When the
// report cannot be created and `createError` is given, it gets the system's error code.
ScanOutcome RunScan(wchar_t* script, const ScanOptions& options, unsigned long* createError = nullptr);

// 1 when the process token's group list holds the Administrators group (deny-only entries count).
int IsAdmin();

// Completes the report's creation line: the user's rights and, for an administrator, whether the
// debug privilege could be enabled in the process token.
void LogPrivileges(FILE* report);
