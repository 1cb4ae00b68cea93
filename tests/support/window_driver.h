// Drives the real quillfen.exe from the test process: starts it in the same Wine prefix, finds its
// window and controls, reads their state, watches the Notepad it starts and reads the report it wrote.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_support.h"

// Polls `condition` every 10 ms until it holds or `timeoutMs` has passed; returns the last answer.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs);

// One running quillfen.exe. Ends it on the way out if the test has not.
class QuillfenProcess {
public:
    QuillfenProcess();  // starts the program and waits for its main window (fails the test if none)
    ~QuillfenProcess();
    QuillfenProcess(const QuillfenProcess&) = delete;
    QuillfenProcess& operator=(const QuillfenProcess&) = delete;

    HWND window() const { return window_; }
    HWND control(int id) const { return GetDlgItem(window_, id); }
    DWORD id() const { return process_.dwProcessId; }
    // True when the process ended within `timeoutMs`; its exit code goes to `exitCode`.
    bool WaitForExit(DWORD& exitCode, DWORD timeoutMs = kHangBoundMs);

    void SetScript(const std::wstring& text) const;
    void ClickLook() const;
    // Waits until the window's thread has handled every message posted to the window and its controls
    // so far (such as ClickLook's); fails the test, saying so, after `timeoutMs`.
    bool WaitForPostedMessages(DWORD timeoutMs = kHangBoundMs) const;

private:
    PROCESS_INFORMATION process_ = {};
    HWND window_ = nullptr;
};

struct WindowState {
    bool scriptReadOnly = false;
    bool lookEnabled = false;
    std::wstring lookCaption;
    bool idle() const { return !scriptReadOnly && lookEnabled && lookCaption == L"Look"; }
    bool scanning() const { return scriptReadOnly && !lookEnabled && lookCaption == L"Scanning..."; }
};
WindowState StateOf(const QuillfenProcess& program);

std::wstring TextOf(HWND window);
std::wstring ClassOf(HWND window);
// A child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);

// Ids of the running notepad.exe processes that `parentId` started.
std::vector<DWORD> NotepadChildren(DWORD parentId);
// The command line of process `id`, read from its own memory; empty when it cannot be read.
std::wstring CommandLineOf(DWORD id);
// Ids of the running notepad.exe processes, whoever started them, whose command line names `path`
// (quoted, at its end), waited for up to `timeoutMs` until there is one.
std::vector<DWORD> WaitForNotepadsOn(const std::wstring& path, DWORD timeoutMs);
// The title of the first visible top-level window of process `id`, waiting up to `timeoutMs` for one
// whose title holds `part`.
std::wstring WaitForWindowTitle(DWORD id, const std::wstring& part, DWORD timeoutMs);
void EndProcess(DWORD id);
// The first visible dialog of process `processId` that `wanted` accepts, waited for; null at the timeout.
HWND WaitForDialog(DWORD processId, DWORD timeoutMs, const std::function<bool(HWND)>& wanted);
// The visible dialog window (such as the open dialog) of process `processId`, waiting up to `timeoutMs`.
HWND WaitForOpenDialog(DWORD processId, DWORD timeoutMs = kHangBoundMs);
// A dialog window of process `processId` as it is now, shown yet or not (a dialog exists from before
// the first message of its own loop), or null.
HWND AnyDialog(DWORD processId);

struct MessageBoxSeen {
    std::wstring caption;
    std::wstring text;
    HWND owner = nullptr;
};
// Runs `cause`, which is to make process `processId` show a message box, and returns what the box said
// once it is closed.
MessageBoxSeen CatchMessageBox(DWORD processId, const std::function<void()>& cause);

// A file for a run's CONTENTS line that holds the run until the test lets go: `content`, then a
// terabyte that is a hole (zeros, which CONTENTS leaves out, read at memory speed but never to the end
// within a test). Release cuts the file back to `content`, which ends the reader's file.
class HeldFile {
public:
    HeldFile(const std::wstring& name, const std::string& content);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    const std::wstring& path() const { return path_; }
    // Whether, within `timeoutMs`, the report at `report` (the desktop report unless named) shows that a
    // run opened the file for its CONTENTS line (the run is then held reading it). The file itself is
    // never touched meanwhile.
    bool WaitForReader(DWORD timeoutMs, const std::wstring& report = {}) const;
    void Release();

private:
    std::wstring path_;
    size_t contentSize_;
};

// ---- the desktop report that the window's runs write ----

// The desktop report's path, or a text naming its absence.
std::wstring ReportPath();
// The desktop report as a run has written it so far (TextSoFar).
std::wstring ReportSoFar();
// The report's two header lines with every digit blanked (the creation time differs between runs),
// and its body.
void SplitReport(const std::wstring& report, std::wstring& headerShape, std::wstring& body);
// Waits for the Notepad that a finished run starts, checks that it shows the report, and ends it.
void ExpectNotepadOnReportAndEndIt(const QuillfenProcess& program);

// Tests of the running window, each with a desktop of its own (empty at the start).
class Window : public ::testing::Test {
protected:
    ScratchDesktop desktop_;
};
