// quillfen-load-script: loads a script into the running quillfen.exe the way a user does, through
// "Load Script..." and the open dialog. Used by scripts/screenshot; not part of the product.
//
//   quillfen-load-script.exe SCRIPT
#include <windows.h>

#include <cstdio>
#include <string>

#include "resources/resource.h"

namespace {

template <typename Condition>
bool WaitFor(Condition condition, DWORD timeoutMs) {
    for (DWORD waited = 0; !condition(); waited += 50) {
        if (waited > timeoutMs) return false;
        Sleep(50);
    }
    return true;
}

HWND FindDialogOf(DWORD processId) {
    HWND dialog = nullptr;
    while ((dialog = FindWindowExW(nullptr, dialog, L"#32770", nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(dialog, &owner);
        if (owner == processId && IsWindowVisible(dialog)) return dialog;
    }
    return nullptr;
}

int Fail(const char* message) {
    fprintf(stderr, "quillfen-load-script: %s\n", message);
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return Fail("usage: quillfen-load-script.exe SCRIPT");
    wchar_t path[MAX_PATH * 4] = {};
    GetFullPathNameW(argv[1], MAX_PATH * 4, path, nullptr);

    HWND window = nullptr;
    if (!WaitFor([&] { return (window = FindWindowW(L"quillfen", nullptr)) != nullptr && IsWindowVisible(window); },
                 30000)) {
        return Fail("no quillfen window");
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    PostMessageW(window, WM_COMMAND, IDM_LOAD_SCRIPT, 0);
    HWND dialog = nullptr;
    if (!WaitFor([&] { return (dialog = FindDialogOf(processId)) != nullptr; }, 30000)) return Fail("no open dialog");

    HWND field = GetDlgItem(dialog, 0x47C);         // cmb13, the file name
    if (!field) field = GetDlgItem(dialog, 0x480);  // edt1 in older templates
    if (!field) return Fail("the open dialog has no file name field");
    SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));

    HWND box = GetDlgItem(window, IDC_SCRIPT);
    if (!WaitFor([&] { return SendMessageW(box, WM_GETTEXTLENGTH, 0, 0) > 0; }, 20000)) {
        return Fail("the script box stayed empty");
    }
    return 0;
}
