// "Load Script...": a script file chosen with the standard open dialog goes into the script box.
// clang-format off
#include <windows.h>
#include <commdlg.h>  // needs windows.h first
// clang-format on

#include <string>
#include <vector>

#include "app/scan/script_file.h"
#include "app/window/window.h"

namespace {

const wchar_t kLoadFailed[] = L"Unable to load script file.";
const wchar_t kLoadFailedCaption[] = L"Error";
const wchar_t kFileTypes[] = L"Text files (*.txt)\0*.txt\0All files (*.*)\0*.*\0";
constexpr DWORD kPathCapacity = 32768;

}  // namespace

bool LoadScript(HWND window, const wchar_t* path) {
    std::wstring text;
    ScriptProblem problem;
    if (!ReadScriptFile(path, text, problem)) {
        MessageBoxW(window, kLoadFailed, kLoadFailedCaption, MB_ICONERROR);
        return false;
    }
    SetDlgItemTextW(window, IDC_SCRIPT, text.c_str());
    return true;
}

void ChooseAndLoadScript(HWND window) {
    std::vector<wchar_t> path(kPathCapacity, L'\0');
    OPENFILENAMEW choice = {};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = window;
    choice.lpstrFilter = kFileTypes;
    choice.nFilterIndex = 1;
    choice.lpstrFile = path.data();
    choice.nMaxFile = kPathCapacity;
    choice.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (GetOpenFileNameW(&choice)) LoadScript(window, path.data());
}
