// quillfen.exe: the main window with its script box, the "Look" and "Exit" buttons and the File menu.
#include <memory>

#include "app/window/window.h"
#include "util/handles.h"

namespace {

const wchar_t kClassName[] = L"quillfen";
const wchar_t kLookCaption[] = L"Look";
const wchar_t kScanningCaption[] = L"Scanning...";
const wchar_t kTitle[] = L"Quillfen v1.0 - by tarnwick";
const wchar_t kExitCaption[] = L"Exit";
const wchar_t kFontName[] = L"Lucida Console";
const wchar_t kErrorCaption[] = L"Error!";
const wchar_t kRegistrationFailed[] = L"Internal Application Error - Windows Registration Failure.";
const wchar_t kCreationFailed[] = L"Internal Application Error - Invalid Window Handle";

constexpr int kLeft = 100;
constexpr int kTop = 100;
constexpr int kWidth = 486;
constexpr int kHeight = 416;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 26;
constexpr int kButtonPairWidth = 240;  // twice a button and the gap, and the pair's shift left of centre
constexpr int kButtonStep = 120;       // from the left edge of "Look" to that of "Exit"
constexpr int kBelowScriptBox = 35;
constexpr int kAboveButtons = 28;
constexpr int kFontHeight = 14;

HFONT scriptFont = nullptr;
// Set when a run is handed to a worker and cleared by the worker's last message: a press that comes as
// a message while the button is disabled must not start a second run either.
bool runUnderWay = false;

HWND CreateControl(HWND window, const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int width,
                   int height, int id) {
    return CreateWindowExW(WS_EX_CLIENTEDGE, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                           window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                           nullptr);
}

void CreateControls(HWND window) {
    // No sizing and no maximizing; minimizing stays.
    LONG style = GetWindowLongW(window, GWL_STYLE);
    SetWindowLongW(window, GWL_STYLE, style & ~(WS_THICKFRAME | WS_MAXIMIZEBOX));

    RECT client = {};
    GetClientRect(window, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    const int buttonLeft = (width - kButtonPairWidth) / 2;
    const int buttonTop = height - kAboveButtons;

    HWND scriptBox = CreateControl(window, L"EDIT", nullptr, WS_VSCROLL | WS_HSCROLL | ES_MULTILINE, 0, 0, width,
                                   height - kBelowScriptBox, IDC_SCRIPT);
    // A pasted or loaded script is not cut at the edit control's default 32,767 characters.
    SendMessageW(scriptBox, EM_SETLIMITTEXT, 0, 0);
    CreateControl(window, L"BUTTON", kLookCaption, BS_PUSHBUTTON, buttonLeft, buttonTop, kButtonWidth, kButtonHeight,
                  IDC_LOOK);
    CreateControl(window, L"BUTTON", kExitCaption, BS_PUSHBUTTON, buttonLeft + kButtonStep, buttonTop, kButtonWidth,
                  kButtonHeight, IDC_EXIT);

    scriptFont = CreateFontW(kFontHeight, 0, 0, 0, 0, FALSE, FALSE, FALSE, 0, 0, 0, 0, 0, kFontName);
    SendMessageW(GetDlgItem(window, IDC_SCRIPT), WM_SETFONT, reinterpret_cast<WPARAM>(scriptFont), TRUE);
}

void LockControls(HWND window) {
    runUnderWay = true;
    SendDlgItemMessageW(window, IDC_SCRIPT, EM_SETREADONLY, TRUE, 0);
    EnableWindow(GetDlgItem(window, IDC_LOOK), FALSE);
}

void GiveControlsBack(HWND window) {
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
    run->options.openReport = true;
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
            if (run) ShowLookTrouble(window, *run);
            return 0;
        }
        default:
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

    HWND window = CreateWindowExW(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, kLeft, kTop, kWidth, kHeight, nullptr,
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
    if (scriptFont) DeleteObject(scriptFont);
    return 0;
}
