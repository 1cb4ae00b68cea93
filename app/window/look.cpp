// One scan run on its own thread. The worker reaches the window only through the window system's
// calls, which the window's thread carries out.
#include <vector>

#include "app/scan/scan.h"
#include "app/window/window.h"

const wchar_t kLookCaption[] = L"Look";
const wchar_t kScanningCaption[] = L"Scanning...";

namespace {

void LockWindow(HWND window) {
    SendDlgItemMessageW(window, IDC_SCRIPT, EM_SETREADONLY, TRUE, 0);
    EnableWindow(GetDlgItem(window, IDC_LOOK), FALSE);
    SetDlgItemTextW(window, IDC_LOOK, kScanningCaption);
}

void GiveWindowBack(HWND window) {
    SetDlgItemTextW(window, IDC_LOOK, kLookCaption);
    SendDlgItemMessageW(window, IDC_SCRIPT, EM_SETREADONLY, FALSE, 0);
    EnableWindow(GetDlgItem(window, IDC_LOOK), TRUE);
}

DWORD RunLook(HWND window) {
    int length = GetWindowTextLengthW(GetDlgItem(window, IDC_SCRIPT));
    if (length <= 0) return 0;
    LockWindow(window);
    std::vector<wchar_t> script(static_cast<size_t>(length) + 2, L'\0');
    GetDlgItemTextW(window, IDC_SCRIPT, script.data(), length + 1);

    // The same pipeline as the console front end, so that both write the same report.
    ScanOptions options;
    options.openReport = true;
    ScanOutcome outcome = RunScan(script.data(), options);
    GiveWindowBack(window);
    return outcome == ScanOutcome::Completed ? 1 : 0;
}

}  // namespace

DWORD WINAPI Look(LPVOID parameter) {
    HWND window = static_cast<HWND>(parameter);
    DWORD result = RunLook(window);
    PostMessageW(window, kLookFinished, 0, 0);
    return result;
}
