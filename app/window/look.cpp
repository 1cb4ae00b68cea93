// One scan run on its own thread. The worker touches no control: it tells the window how far it got
// with posted messages, and the window's thread does the rest.
#include <memory>
#include <string>

#include "app/scan/scan.h"
#include "app/window/taskbar.h"
#include "app/window/window.h"
#include "report/create_log.h"
#include "util/owned.h"

namespace {

const wchar_t kTroubleCaption[] = L"Error";
const wchar_t kNotCreated[] = L"The report could not be created:";
const wchar_t kIncomplete[] = L"The report is incomplete: part of it could not be written.";
const wchar_t kNoDesktop[] = L"(the desktop folder is not known)";

void PostProgress(size_t lineNumber, size_t lineCount, const wchar_t*, void* observerContext) {
    if (!IsProgressStep(lineNumber, lineCount)) return;
    PostMessageW(static_cast<LookRun*>(observerContext)->window, kLookProgress, lineNumber,
                 static_cast<LPARAM>(lineCount));
}

}  // namespace

DWORD WINAPI Look(LPVOID parameter) {
    std::unique_ptr<LookRun> run(static_cast<LookRun*>(parameter));
    if (run->showProgress) {
        run->options.observer = PostProgress;
        run->options.observerContext = run.get();
    }
    PostMessageW(run->window, kLookStarted, 0, 0);
    // The same pipeline as the console front end, so that both write the same report.
    run->outcome = RunScan(run->script.data(), run->options, &run->systemError);
    DWORD result = run->outcome == ScanOutcome::Completed ? 1 : 0;
    if (PostMessageW(run->window, kLookFinished, result, reinterpret_cast<LPARAM>(run.get()))) run.release();
    return result;
}

void ShowLookTrouble(HWND window, const LookRun& run) {
    const wchar_t* what = nullptr;
    if (run.outcome == ScanOutcome::ReportNotCreated) what = kNotCreated;
    if (run.outcome == ScanOutcome::ReportIncomplete) what = kIncomplete;
    if (what == nullptr) return;
    OwnedText desktopReport;
    const wchar_t* path = run.options.reportPath;
    if (path == nullptr) {
        desktopReport = GetReportPath();
        path = desktopReport ? desktopReport.get() : kNoDesktop;
    }
    std::wstring text = std::wstring(what) + L"\n" + path;
    if (run.systemError != 0) text += L"\n\n" + SystemErrorText(run.systemError);
    MessageBoxW(window, text.c_str(), kTroubleCaption, MB_ICONERROR);
}
