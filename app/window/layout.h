// The main window's sizes and font at any DPI. Every size is kept as its value at 96 DPI and scaled to
// the window's DPI, so that at 96 DPI the window is laid out pixel for pixel as it always was.
#pragma once

#include <windows.h>

#include "util/handles.h"

constexpr UINT kBaseDpi = USER_DEFAULT_SCREEN_DPI;

// `size` pixels at 96 DPI as pixels at `dpi`, to the nearest pixel (halves away from zero, as MulDiv).
int ScaleForDpi(int size, UINT dpi);

// The main window's client area at `dpi`: what the outer size of 486 by 416 leaves inside a frame of
// `frameAt96` at 96 DPI, scaled.
SIZE ClientSizeForDpi(UINT dpi, SIZE frameAt96);
// The main window's outer size at `dpi`: that client area inside a frame of `frameAtDpi`. The frame
// (borders, caption, menu bar) does not scale linearly with the DPI, so it is the system's at each
// DPI; with no frames known (both zero) the whole window scales.
SIZE WindowSizeForDpi(UINT dpi, SIZE frameAt96, SIZE frameAtDpi);
// The same with the system's frames for a window of `style` (and a menu bar), where the system can
// tell them at any DPI.
SIZE WindowSizeForDpi(UINT dpi, DWORD style = WS_OVERLAPPEDWINDOW);

// The frame a window of `style` with a menu bar has at `dpi`, from AdjustWindowRectExForDpi (Windows
// 10 1607 on, looked up at run time); false where the system has no such call.
bool FrameSizeForDpi(DWORD style, UINT dpi, SIZE& frame);

// Where the three controls stand, in the main window's client coordinates.
struct WindowLayout {
    RECT scriptBox;
    RECT look;
    RECT exit;
};
// The controls' places in a client area of `clientWidth` by `clientHeight` pixels at `dpi`.
WindowLayout LayOutControls(int clientWidth, int clientHeight, UINT dpi);

// The height of the controls' font at `dpi`, as CreateFontW takes it.
int FontHeightForDpi(UINT dpi);

// The DPI `window` is drawn at: GetDpiForWindow where the system has it (Windows 10 1607 and later),
// otherwise the LOGPIXELSY of its device context. A null window gives the screen's, for the window
// about to be made.
UINT DpiOfWindow(HWND window);

// The controls' font ("Lucida Console") at `dpi`; empty when it cannot be made.
FontHandle CreateControlFont(UINT dpi);

// Moves the script box and the two buttons to their places in the client area of `window` at `dpi`
// and gives all three `font` (which the caller keeps and frees after the controls are gone).
void PlaceControls(HWND window, UINT dpi, HFONT font);

// Gives the script box and both buttons `font`, which the caller keeps and frees after them.
void SetControlsFont(HWND window, HFONT font);

// The window moved to a monitor of another DPI: takes the size the system suggests, makes the font
// for the new DPI, lays the controls out again and frees the font they had. `font` is the controls'
// font, replaced by the new one; it stays when the new one cannot be made.
void ApplyNewDpi(HWND window, UINT dpi, const RECT& suggested, FontHandle& font);
