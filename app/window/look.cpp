// One scan run on its own thread. The worker touches no control: it tells the window how far it got
// with posted messages, and the window's thread does the rest.
#include <memory>
#include <string>

#include "app/scan/scan.h"
#include "app/window/taskbar.h"
#include "app/window/window.h"
#include "report/create_log.h"

namespace {

const wchar_t kTroubleCaption[] = L"Error";
const wchar_t kNoticeCaption[] = L"Quillfen";
const wchar_t kNotCreated[] = L"The report could not be created:";
const wchar_t kIncomplete[] = L"The report is incomplete: part of it could not be written.";
const wchar_t kNoDesktop[] = L"(the desktop folder is not known)";
const wchar_t kMovedToTemp[] = L"The desktop refused the report, so it was written to the temporary folder instead:";
const wchar_t kNoNotepad[] = L"The report was written, but Notepad could not be started to show it:";

// The box's text: what happened, the report's path, and the system's reason when there is one.
void ShowBox(HWND window, const wchar_t* what, const std::wstring& path, unsigned long error, const wchar_t* caption,
             UINT icon) {
    std::wstring text = std::wstring(what) + L"\n" + (path.empty() ? kNoDesktop : path);
    if (error != 0) text += L"\n\n" + SystemErrorText(error);
    MessageBoxW(window, text.c_str(), caption, icon);
}

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
    run->outcome = RunScan(run->script.data(), run->options, &run->result);
    DWORD result = run->outcome == ScanOutcome::Completed ? 1 : 0;
    if (PostMessageW(run->window, kLookFinished, result, reinterpret_cast<LPARAM>(run.get()))) run.release();
    return result;
}

void FinishLook(HWND window, const LookRun& run) {
    const ScanResult& result = run.result;
    switch (run.outcome) {
        case ScanOutcome::EmptyScript:
            return;
        case ScanOutcome::ReportNotCreated:
        case ScanOutcome::ReportIsScript:  // the window's script is no file: never so
            ShowBox(window, kNotCreated, result.reportPath, result.systemError, kTroubleCaption, MB_ICONERROR);
            return;
        case ScanOutcome::ReportIncomplete:
            // Notepad is shown only a whole report.
            ShowBox(window, kIncomplete, result.reportPath, result.systemError, kTroubleCaption, MB_ICONERROR);
            return;
        case ScanOutcome::Completed:
            break;
    }
    // Said before Notepad comes up, which would otherwise cover the box.
    if (result.desktopRefusal != 0) {
        ShowBox(window, kMovedToTemp, result.reportPath, result.desktopRefusal, kNoticeCaption, MB_ICONINFORMATION);
    }
    if (const unsigned long failure = OpenLogAt(result.reportPath.c_str())) {
        ShowBox(window, kNoNotepad, result.reportPath, failure, kNoticeCaption, MB_ICONWARNING);
    }
}
