// The window's sizes at any DPI: as pure functions, the move to another DPI on a window of the test's
// own with the same three controls, and the real window started at 96, 144 and 192 DPI (the prefix's
// LogPixels set before each start) with its geometry and font read back from this process.
#include "app/window/layout.h"

#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/support/test_support.h"
#include "tests/support/window_driver.h"

namespace {

std::string Show(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
           std::to_string(r.bottom - r.top);
}

// The DPI every program started from now on sees.
const wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
const wchar_t kLogPixels[] = L"LogPixels";

// The line height of a font made as the window makes its own, measured in this process.
int LineHeightOf(int fontHeight) {
    FontHandle font(CreateFontW(fontHeight, 0, 0, 0, 0, FALSE, FALSE, FALSE, 0, 0, 0, 0, 0, L"Lucida Console"));
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font.get());
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return metrics.tmHeight;
}

TEST(Layout, SizesScaleFrom96DpiToTheNearestPixel) {
    const struct {
        int size;
        UINT dpi;
        int pixels;
    } cases[] = {
        {14, 96, 14},    {35, 96, 35},    {486, 96, 486},  // unchanged at 96
        {14, 120, 18},   {35, 120, 44},   {26, 120, 33},   // 125 %: 17.5, 43.75 and 32.5 round up
        {14, 144, 21},   {35, 144, 53},   {2, 144, 3},     // 150 %: 52.5 and 3 (the gap under the buttons)
        {486, 144, 729}, {416, 144, 624}, {28, 144, 42},  {14, 192, 28}, {416, 192, 832}, {240, 192, 480},  // 200 %
        {35, 168, 61},   {26, 72, 20},    {0, 192, 0},  // 175 % rounds 61.25 down; below 96 shrinks
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ScaleForDpi(c.size, c.dpi), c.pixels) << c.size << " at " << c.dpi;
    }
    EXPECT_EQ(FontHeightForDpi(96), 14);
    EXPECT_EQ(FontHeightForDpi(144), 21);
    EXPECT_EQ(FontHeightForDpi(192), 28);
}

TEST(Layout, WindowAndControlsAtEachDpi) {
    const struct {
        UINT dpi;
        SIZE window;
        int clientWidth, clientHeight;
        RECT box, look, exit;
    } cases[] = {
        // The 96-DPI layout as it always was: a 470 by 358 client area.
        {96, {486, 416}, 470, 358, {0, 0, 470, 323}, {115, 330, 215, 356}, {235, 330, 335, 356}},
        // An odd width: the pair's left edge truncates towards zero.
        {96, {486, 416}, 471, 358, {0, 0, 471, 323}, {115, 330, 215, 356}, {235, 330, 335, 356}},
        {144, {729, 624}, 713, 560, {0, 0, 713, 507}, {176, 518, 326, 557}, {356, 518, 506, 557}},
        {192, {972, 832}, 956, 776, {0, 0, 956, 706}, {238, 720, 438, 772}, {478, 720, 678, 772}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("at " + std::to_string(c.dpi) + " DPI");
        SIZE window = WindowSizeForDpi(c.dpi, SIZE{}, SIZE{});  // no frames known: all of it scales
        EXPECT_EQ(window.cx, c.window.cx);
        EXPECT_EQ(window.cy, c.window.cy);
        WindowLayout layout = LayOutControls(c.clientWidth, c.clientHeight, c.dpi);
        EXPECT_TRUE(EqualRect(&layout.scriptBox, &c.box)) << Show(layout.scriptBox);
        EXPECT_TRUE(EqualRect(&layout.look, &c.look)) << Show(layout.look);
        EXPECT_TRUE(EqualRect(&layout.exit, &c.exit)) << Show(layout.exit);
    }
}

// Frames of WS_OVERLAPPEDWINDOW with a menu bar as a per-monitor aware process gets them at each DPI:
// the caption and menu bar round on their own and the borders grow in steps, so a frame is not its
// 96-DPI size scaled. The client area is what scales.
TEST(Layout, TheClientAreaScalesAndTheFrameIsTheSystems) {
    const struct {
        UINT dpi;
        SIZE frameAt96, frameAtDpi, client, window;
    } cases[] = {
        {96, {16, 58}, {16, 58}, {470, 358}, {486, 416}},
        {96, {10, 49}, {10, 49}, {476, 367}, {486, 416}},  // another system's frame: 486 by 416 still
        {120, {16, 58}, {20, 71}, {588, 448}, {608, 519}},
        {144, {16, 58}, {24, 88}, {705, 537}, {729, 625}},  // one more than scaling the whole window
        {192, {16, 58}, {32, 118}, {940, 716}, {972, 834}},
        {144, {8, 46}, {10, 66}, {717, 555}, {727, 621}},  // as Wine 8 gives them
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("at " + std::to_string(c.dpi) + " DPI");
        const SIZE client = ClientSizeForDpi(c.dpi, c.frameAt96);
        EXPECT_EQ(client.cx, c.client.cx);
        EXPECT_EQ(client.cy, c.client.cy);
        const SIZE window = WindowSizeForDpi(c.dpi, c.frameAt96, c.frameAtDpi);
        EXPECT_EQ(window.cx, c.window.cx);
        EXPECT_EQ(window.cy, c.window.cy);
    }
}

// A top-level window of the test's thread with the main window's three controls.
class ThreeControls {
public:
    ThreeControls() {
        window_ = CreateWindowExW(0, L"STATIC", L"dpi", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 100, 100, 486, 416,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        EXPECT_NE(window_, nullptr) << "error " << GetLastError();
        const struct {
            const wchar_t* className;
            int id;
        } controls[] = {{L"EDIT", IDC_SCRIPT}, {L"BUTTON", IDC_LOOK}, {L"BUTTON", IDC_EXIT}};
        for (const auto& control : controls) {
            CreateWindowExW(WS_EX_CLIENTEDGE, control.className, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, window_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), GetModuleHandleW(nullptr),
                            nullptr);
        }
    }
    ~ThreeControls() { DestroyWindow(window_); }
    ThreeControls(const ThreeControls&) = delete;
    ThreeControls& operator=(const ThreeControls&) = delete;
    HWND get() const { return window_; }
    HFONT FontOf(int id) const { return reinterpret_cast<HFONT>(SendDlgItemMessageW(window_, id, WM_GETFONT, 0, 0)); }

private:
    HWND window_ = nullptr;
};

// The three controls of `window` where LayOutControls places them in its client area at `dpi`.
void ExpectControlsWhereTheLayoutPutsThem(HWND window, UINT dpi) {
    RECT client = {};
    GetClientRect(window, &client);
    const WindowLayout layout = LayOutControls(client.right, client.bottom, dpi);
    const RECT* expected[] = {&layout.scriptBox, &layout.look, &layout.exit};
    const int ids[] = {IDC_SCRIPT, IDC_LOOK, IDC_EXIT};
    for (int i = 0; i < 3; ++i) {
        RECT actual = ChildRect(GetDlgItem(window, ids[i]));
        EXPECT_TRUE(EqualRect(&actual, expected[i]))
            << "control " << ids[i] << " at " << Show(actual) << ", wanted " << Show(*expected[i]) << " in "
            << client.right << "x" << client.bottom;
    }
}

void ExpectFontOfHeight(HFONT font, int height) {
    LOGFONTW described = {};
    ASSERT_EQ(GetObjectW(font, sizeof described, &described), static_cast<int>(sizeof described));
    EXPECT_EQ(described.lfHeight, height);
    EXPECT_STREQ(described.lfFaceName, L"Lucida Console");
}

TEST(Layout, AMoveToAnotherDpiTakesTheSuggestedSizeAndGivesEveryControlTheNewFont) {
    ThreeControls window;
    ASSERT_NE(window.get(), nullptr);
    FontHandle font = CreateControlFont(96);
    ASSERT_TRUE(font);
    ExpectFontOfHeight(font.get(), 14);
    PlaceControls(window.get(), 96, font.get());
    for (int id : {IDC_SCRIPT, IDC_LOOK, IDC_EXIT}) EXPECT_EQ(window.FontOf(id), font.get()) << id;

    // As a move to a 150 % monitor suggests it: the outer size scaled, somewhere else.
    const HFONT before = font.get();
    const RECT suggested = {200, 50, 200 + 729, 50 + 624};
    ApplyNewDpi(window.get(), 144, suggested, font);
    RECT outer = {};
    GetWindowRect(window.get(), &outer);
    EXPECT_TRUE(EqualRect(&outer, &suggested)) << Show(outer);
    ASSERT_NE(font.get(), before);
    EXPECT_EQ(GetObjectType(before), 0u) << "the 96-DPI font was not freed";
    ExpectFontOfHeight(font.get(), 21);
    for (int id : {IDC_SCRIPT, IDC_LOOK, IDC_EXIT}) EXPECT_EQ(window.FontOf(id), font.get()) << id;

    ExpectControlsWhereTheLayoutPutsThem(window.get(), 144);
}

// The real window: placed at 100,100, its size, its controls as the layout table above has them, and
// its font.
TEST_F(Window, GeometryAndFontScaleWithTheDpi) {
    const struct {
        DWORD dpi;
        int width, height, fontHeight;
    } cases[] = {{96, 486, 416, 14}, {144, 729, 624, 21}, {192, 972, 832, 28}};
    int lastLineHeight = 0;
    SIZE client96 = {};
    for (const auto& c : cases) {
        SCOPED_TRACE("at " + std::to_string(c.dpi) + " DPI");
        ScopedValue dpi(HKEY_CURRENT_USER, kDesktopKey, kLogPixels);
        ASSERT_TRUE(dpi.SetDword(c.dpi));
        QuillfenProcess program;
        HWND window = program.window();
        ASSERT_NE(window, nullptr);

        RECT outer = {};
        GetWindowRect(window, &outer);
        EXPECT_EQ(outer.left, 100);
        EXPECT_EQ(outer.top, 100);

        RECT client = {};
        GetClientRect(window, &client);
        const int w = client.right, h = client.bottom;
        // 486 by 416 at 96 DPI; elsewhere the client area that leaves is what scales, in the system's frame.
        if (c.dpi == 96) {
            EXPECT_EQ(outer.right - outer.left, c.width) << Show(outer);
            EXPECT_EQ(outer.bottom - outer.top, c.height) << Show(outer);
            client96 = SIZE{w, h};
        } else {
            EXPECT_EQ(w, ScaleForDpi(client96.cx, c.dpi)) << Show(outer);
            EXPECT_EQ(h, ScaleForDpi(client96.cy, c.dpi)) << Show(outer);
        }
        // The frame, caption and menu are the system's; the client area is what remains of the window.
        EXPECT_GT(w, c.width * 9 / 10);
        EXPECT_GT(h, c.height * 3 / 4);
        ExpectControlsWhereTheLayoutPutsThem(window, c.dpi);

        // The font by the script box's line height (its handle means nothing in this process; that the
        // buttons share it is checked in-process).
        program.SetScript(L"Ag\r\nAg\r\n");
        HWND box = program.control(IDC_SCRIPT);
        LRESULT first = SendMessageW(box, EM_POSFROMCHAR, 0, 0);
        LRESULT second = SendMessageW(box, EM_POSFROMCHAR, 4, 0);
        const int lineHeight = static_cast<short>(HIWORD(second)) - static_cast<short>(HIWORD(first));
        EXPECT_EQ(lineHeight, LineHeightOf(c.fontHeight));
        EXPECT_GT(lineHeight, lastLineHeight);
        lastLineHeight = lineHeight;
    }
}

}  // namespace
