// The main window's sizes and font, scaled from their 96-DPI values to the window's DPI.
#include "app/window/layout.h"

#include "resources/resource.h"

namespace {

const wchar_t kFontName[] = L"Lucida Console";

// At 96 DPI.
constexpr int kWidth = 486;
constexpr int kHeight = 416;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 26;
constexpr int kButtonPairWidth = 240;  // twice a button and the gap, and the pair's shift left of centre
constexpr int kButtonStep = 120;       // from the left edge of "Look" to that of "Exit"
constexpr int kBelowScriptBox = 35;
constexpr int kAboveButtons = 28;
constexpr int kFontHeight = 14;

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using AdjustForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

AdjustForDpiFunction AdjustForDpi() {
    static const AdjustForDpiFunction function = reinterpret_cast<AdjustForDpiFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    return function;
}

// Looked up once: Windows 7 and 8 and older Wine have no GetDpiForWindow.
GetDpiForWindowFunction DpiForWindowFunction() {
    static const GetDpiForWindowFunction function = reinterpret_cast<GetDpiForWindowFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    return function;
}

// A window's device context, released on the way out.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

RECT At(int x, int y, int width, int height) { return RECT{x, y, x + width, y + height}; }

void MoveTo(HWND control, const RECT& place) {
    SetWindowPos(control, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

int ScaleForDpi(int size, UINT dpi) { return MulDiv(size, static_cast<int>(dpi), static_cast<int>(kBaseDpi)); }

SIZE ClientSizeForDpi(UINT dpi, SIZE frameAt96) {
    return SIZE{ScaleForDpi(kWidth - frameAt96.cx, dpi), ScaleForDpi(kHeight - frameAt96.cy, dpi)};
}

SIZE WindowSizeForDpi(UINT dpi, SIZE frameAt96, SIZE frameAtDpi) {
    const SIZE client = ClientSizeForDpi(dpi, frameAt96);
    return SIZE{client.cx + frameAtDpi.cx, client.cy + frameAtDpi.cy};
}

SIZE WindowSizeForDpi(UINT dpi, DWORD style) {
    SIZE frameAt96 = {};
    SIZE frameAtDpi = {};
    if (!FrameSizeForDpi(style, kBaseDpi, frameAt96) || !FrameSizeForDpi(style, dpi, frameAtDpi)) {
        frameAt96 = frameAtDpi = SIZE{};
    }
    return WindowSizeForDpi(dpi, frameAt96, frameAtDpi);
}

bool FrameSizeForDpi(DWORD style, UINT dpi, SIZE& frame) {
    const AdjustForDpiFunction adjust = AdjustForDpi();
    RECT rect = {};
    if (adjust == nullptr || !adjust(&rect, style, TRUE, 0, dpi)) return false;
    frame = SIZE{rect.right - rect.left, rect.bottom - rect.top};
    return true;
}

WindowLayout LayOutControls(int clientWidth, int clientHeight, UINT dpi) {
    const int buttonWidth = ScaleForDpi(kButtonWidth, dpi);
    const int buttonHeight = ScaleForDpi(kButtonHeight, dpi);
    const int buttonLeft = (clientWidth - ScaleForDpi(kButtonPairWidth, dpi)) / 2;
    const int buttonTop = clientHeight - ScaleForDpi(kAboveButtons, dpi);
    WindowLayout layout;
    layout.scriptBox = At(0, 0, clientWidth, clientHeight - ScaleForDpi(kBelowScriptBox, dpi));
    layout.look = At(buttonLeft, buttonTop, buttonWidth, buttonHeight);
    layout.exit = At(buttonLeft + ScaleForDpi(kButtonStep, dpi), buttonTop, buttonWidth, buttonHeight);
    return layout;
}

int FontHeightForDpi(UINT dpi) { return ScaleForDpi(kFontHeight, dpi); }

UINT DpiOfWindow(HWND window) {
    if (window != nullptr) {
        if (GetDpiForWindowFunction function = DpiForWindowFunction()) {
            UINT dpi = function(window);
            if (dpi != 0) return dpi;
        }
    }
    WindowDc dc(window);
    int dpi = dc.get() ? GetDeviceCaps(dc.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

FontHandle CreateControlFont(UINT dpi) {
    return FontHandle(CreateFontW(FontHeightForDpi(dpi), 0, 0, 0, 0, FALSE, FALSE, FALSE, 0, 0, 0, 0, 0, kFontName));
}

void PlaceControls(HWND window, UINT dpi, HFONT font) {
    RECT client = {};
    GetClientRect(window, &client);
    const WindowLayout layout = LayOutControls(client.right - client.left, client.bottom - client.top, dpi);
    MoveTo(GetDlgItem(window, IDC_SCRIPT), layout.scriptBox);
    MoveTo(GetDlgItem(window, IDC_LOOK), layout.look);
    MoveTo(GetDlgItem(window, IDC_EXIT), layout.exit);
    SetControlsFont(window, font);
}

void SetControlsFont(HWND window, HFONT font) {
    for (int id : {IDC_SCRIPT, IDC_LOOK, IDC_EXIT}) {
        SendDlgItemMessageW(window, id, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
}

void ApplyNewDpi(HWND window, UINT dpi, const RECT& suggested, FontHandle& font) {
    SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    FontHandle scaled = CreateControlFont(dpi);
    PlaceControls(window, dpi, scaled ? scaled.get() : font.get());
    // Freed only once no control holds it any more.
    if (scaled) font = std::move(scaled);
}
