// quillfen.exe: the main window with its script box, the "Look" and "Exit" buttons and the File menu.
#include <memory>

#include "app/window/layout.h"
#include "app/window/taskbar.h"
#include "app/window/window.h"
#include "util/handles.h"

namespace {

const wchar_t kClassName[] = L"quillfen";
const wchar_t kLookCaption[] = L"Look";
const wchar_t kScanningCaption[] = L"Scanning...";
const wchar_t kTitle[] = L"Quillfen v1.0 - by tarnwick";
const wchar_t kExitCaption[] = L"Exit";
const wchar_t kErrorCaption[] = L"Error!";
const wchar_t kRegistrationFailed[] = L"Internal Application Error - Windows Registration Failure.";
const wchar_t kCreationFailed[] = L"Internal Application Error - Invalid Window Handle";

// A place on the screen, not a size: the same at every DPI.
constexpr int kLeft = 100;
constexpr int kTop = 100;

FontHandle controlFont;             // the script box's and the buttons'; freed after the message loop
ComPointer<ITaskbarList3> taskbar;  // empty until the shell has made the button, and where it has no such interface
// Set when a run is handed to a worker and cleared by the worker's last message: a press that comes as
// a message while the button is disabled must not start a second run either.
bool runUnderWay = false;

HWND CreateControl(HWND window, const wchar_t* className, const wchar_t* text, DWORD style, const RECT& place, int id) {
    return CreateWindowExW(WS_EX_CLIENTEDGE, className, text, WS_CHILD | WS_VISIBLE | style, place.left, place.top,
                           place.right - place.left, place.bottom - place.top, window,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

// The window was made at the size for the screen's DPI; a window that opens on a monitor of another
// DPI takes the size for that one before its controls are placed. The resize gives it the frame of
// the style it has by then, so the outer size is found for that frame.
UINT FitWindowToDpi(HWND window) {
    const UINT dpi = DpiOfWindow(window);
    SIZE wanted = WindowSizeForDpi(dpi);
    RECT outer = {};
    GetWindowRect(window, &outer);
    if (outer.right - outer.left != wanted.cx || outer.bottom - outer.top != wanted.cy) {
        SIZE frameAt96 = {};
        SIZE frameNow = {};
        if (FrameSizeForDpi(WS_OVERLAPPEDWINDOW, kBaseDpi, frameAt96) &&
            FrameSizeForDpi(static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), dpi, frameNow)) {
            wanted = WindowSizeForDpi(dpi, frameAt96, frameNow);
        }
        SetWindowPos(window, nullptr, 0, 0, wanted.cx, wanted.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return dpi;
}

void CreateControls(HWND window) {
    // No sizing and no maximizing; minimizing stays.
    LONG style = GetWindowLongW(window, GWL_STYLE);
    SetWindowLongW(window, GWL_STYLE, style & ~(WS_THICKFRAME | WS_MAXIMIZEBOX));

    const UINT dpi = FitWindowToDpi(window);
    RECT client = {};
    GetClientRect(window, &client);
    const WindowLayout layout = LayOutControls(client.right - client.left, client.bottom - client.top, dpi);

    HWND scriptBox =
        CreateControl(window, L"EDIT", nullptr, WS_VSCROLL | WS_HSCROLL | ES_MULTILINE, layout.scriptBox, IDC_SCRIPT);
    // A pasted or loaded script is not cut at the edit control's default 32,767 characters.
    SendMessageW(scriptBox, EM_SETLIMITTEXT, 0, 0);
    CreateControl(window, L"BUTTON", kLookCaption, BS_PUSHBUTTON, layout.look, IDC_LOOK);
    CreateControl(window, L"BUTTON", kExitCaption, BS_PUSHBUTTON, layout.exit, IDC_EXIT);

    controlFont = CreateControlFont(dpi);
    SetControlsFont(window, controlFont.get());
    AllowTaskbarButtonCreated(window);
}

// The shell made the window's button, or made it again after a restart of its own.
void ConnectTaskbar() { taskbar = CreateTaskbarList(); }

void ShowRunProgress(HWND window, const TaskbarProgress& progress) {
    ShowTaskbarProgress(taskbar.get(), window, progress);
}

void LockControls(HWND window) {
    runUnderWay = true;
    ShowRunProgress(window, ProgressAtStart());
    SendDlgItemMessageW(window, IDC_SCRIPT, EM_SETREADONLY, TRUE, 0);
    EnableWindow(GetDlgItem(window, IDC_LOOK), FALSE);
}

void GiveControlsBack(HWND window) {
    ShowRunProgress(window, ProgressAtEnd());
    SetDlgItemTextW(window, IDC_LOOK, kLookCaption);
    SendDlgItemMessageW(window, IDC_SCRIPT, EM_SETREADONLY, FALSE, 0);
    EnableWindow(GetDlgItem(window, IDC_LOOK), TRUE);
    runUnderWay = false;
}

// Hands the script box's text to a new worker; an empty box does nothing.
void StartLook(HWND window) {
    if (runUnderWay) return;
    HWND scriptBox = GetDlgItem(window, IDC_SCRIPT);
    int length = GetWindowTextLengthW(scriptBox);
    if (length <= 0) return;
    auto run = std::make_unique<LookRun>();
    run->window = window;
    run->script.assign(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(scriptBox, run->script.data(), length + 1);
    run->showProgress = static_cast<bool>(taskbar);
    LockControls(window);
    KernelHandle thread(CreateThread(nullptr, 0, Look, run.get(), 0, nullptr));
    if (!thread) {
        GiveControlsBack(window);
        return;
    }
    run.release();  // the worker's from now on
}

}  // namespace

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            CreateControls(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_DPICHANGED:
            ApplyNewDpi(window, LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam), controlFont);
            return 0;
        case kLookProgress:
            if (runUnderWay) ShowRunProgress(window, ProgressBeforeLine(wParam, static_cast<size_t>(lParam)));
            return 0;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_EXIT:
                    // The same way out as the title bar's close box.
                    PostMessageW(window, WM_CLOSE, 0, 0);
                    break;
                case IDC_LOOK:
                    StartLook(window);
                    break;
                case IDM_LOAD_SCRIPT:
                    // The script box is read-only during a run, and so it stays.
                    if (!runUnderWay) ChooseAndLoadScript(window);
                    break;
                default:
                    break;
            }
            return 0;
        case kLookStarted:
            SetDlgItemTextW(window, IDC_LOOK, kScanningCaption);
            return 0;
        case kLookFinished: {
            std::unique_ptr<LookRun> run(reinterpret_cast<LookRun*>(lParam));
            GiveControlsBack(window);
            if (run) FinishLook(window, *run);
            return 0;
        }
        default:
            if (message == TaskbarButtonCreatedMessage()) {
                ConnectTaskbar();
                return 0;
            }
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hIconSm = LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEW(IDR_MAIN_MENU);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExW(&windowClass)) {
        MessageBoxW(nullptr, kRegistrationFailed, kErrorCaption, MB_ICONEXCLAMATION);
        return 0;
    }

    ComApartment com;  // for the taskbar button
    const SIZE size = WindowSizeForDpi(DpiOfWindow(nullptr));
    HWND window = CreateWindowExW(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, kLeft, kTop, size.cx, size.cy, nullptr,
                                  nullptr, instance, nullptr);
    if (window == nullptr) {
        MessageBoxW(nullptr, kCreationFailed, kErrorCaption, MB_ICONEXCLAMATION);
        return 0;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    taskbar.reset();  // before COM goes
    controlFont.reset();
    return 0;
}
