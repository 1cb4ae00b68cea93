// One scan run on its own thread. The worker touches no control: it tells the window how far it got
// with posted messages, and the window's thread does the rest.
#include <memory>

#include "app/scan/scan.h"
#include "app/window/taskbar.h"
#include "app/window/window.h"

namespace {

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
    DWORD result = RunScan(run->script.data(), run->options) == ScanOutcome::Completed ? 1 : 0;
    PostMessageW(run->window, kLookFinished, result, 0);
    return result;
}
