// The real window, driven from this process the way a user drives it: layout, the controls locked
// while a run is under way, an empty box, and the three ways to close the window, also during a run.
#include <gtest/gtest.h>

#include <cstdio>

#include "app/window/taskbar.h"
#include "resources/resource.h"
#include "tests/support/test_support.h"
#include "tests/support/window_driver.h"

namespace {

// What the console front end writes for the same script.
std::wstring CliReport(const std::wstring& script) {
    ScratchFolder folder;
    ProcessResult run = RunCliScript(folder, script, folder / L"cli.txt", L"");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    return ReadUtf16File(folder / L"cli.txt");
}

TEST_F(Window, HasItsTitleStyleAndControls) {
    QuillfenProcess program;
    HWND window = program.window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(TextOf(window), L"Quillfen v1.0 - by tarnwick");

    LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_EQ(style & WS_THICKFRAME, 0) << std::hex << style;
    EXPECT_EQ(style & WS_MAXIMIZEBOX, 0) << std::hex << style;
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX), WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
    // Where the window and its controls are, at each DPI: Window.GeometryAndFontScaleWithTheDpi.

    HWND box = program.control(IDC_SCRIPT);
    HWND look = program.control(IDC_LOOK);
    HWND exit = program.control(IDC_EXIT);
    ASSERT_TRUE(box && look && exit);
    EXPECT_EQ(_wcsicmp(ClassOf(box).c_str(), L"Edit"), 0);
    EXPECT_EQ(_wcsicmp(ClassOf(look).c_str(), L"Button"), 0);
    EXPECT_EQ(_wcsicmp(ClassOf(exit).c_str(), L"Button"), 0);
    EXPECT_EQ(TextOf(box), L"");
    EXPECT_EQ(TextOf(look), L"Look");
    EXPECT_EQ(TextOf(exit), L"Exit");
    const DWORD boxStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE;
    EXPECT_EQ(GetWindowLongW(box, GWL_STYLE) & boxStyle, static_cast<LONG>(boxStyle));
    EXPECT_EQ(GetWindowLongW(box, GWL_STYLE) & ES_READONLY, 0);
    // A pasted script is not cut at the default 32,767 characters.
    EXPECT_GT(SendMessageW(box, EM_GETLIMITTEXT, 0, 0), 1000000);
    for (HWND button : {look, exit}) {
        EXPECT_EQ(GetWindowLongW(button, GWL_STYLE) & (WS_CHILD | WS_VISIBLE | 0xF),
                  WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON);
    }
    for (HWND control : {box, look, exit}) {
        EXPECT_NE(GetWindowLongW(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
    }
}

TEST_F(Window, ARunLocksTheWindowWritesTheSameReportAsTheConsoleAndOpensNotepad) {
    HeldFile held(L"quillfen-window-test.txt", "held open\r\nuntil the test lets go\r\n");
    ScopedEnvironment variable(L"QUILLFEN_WINDOW_TEST", L"from the test");
    std::wstring script = L":COMMENT\r\nnot shown\r\n:ENV\r\n%QUILLFEN_WINDOW_TEST%\r\n";
    // Long enough to pass the edit control's default limit of 32,767 characters.
    for (int i = 0; i < 3000; ++i) script += L"line " + std::to_wstring(i) + L" %QUILLFEN_WINDOW_TEST%\r\n";
    script += L":CONTENTS\r\n" + held.path() + L"\r\n";

    QuillfenProcess program;
    ASSERT_NE(program.window(), nullptr);
    // As the shell tells a window that its taskbar button is made: where the system has the interface,
    // the run shows its progress there; what the window shows is unchanged.
    SendMessageW(program.window(), TaskbarButtonCreatedMessage(), 0, 0);
    program.SetScript(script);
    EXPECT_EQ(TextOf(program.control(IDC_SCRIPT)), script);
    program.ClickLook();
    // A second press that comes as a message, past the disabled button, must not start a run.
    PostMessageW(program.window(), WM_COMMAND, MAKEWPARAM(IDC_LOOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(program.control(IDC_LOOK)));

    ASSERT_TRUE(held.WaitForReader(kHangBoundMs)) << "the run never reached its CONTENTS line";
    // On a busy machine the worker can reach the file before the window's thread has taken its first
    // message; the run is held, so the window must come to show it.
    WaitFor([&] { return StateOf(program).scanning(); }, kHangBoundMs);
    WindowState state = StateOf(program);
    EXPECT_TRUE(state.scanning()) << "read-only " << state.scriptReadOnly << ", enabled " << state.lookEnabled
                                  << ", caption " << Narrow(state.lookCaption);
    EXPECT_EQ(TextOf(program.window()), L"Quillfen v1.0 - by tarnwick");
    EXPECT_EQ(TextOf(program.control(IDC_EXIT)), L"Exit");
    // The box is the run's while it lasts: "Load Script..." waits for the run to end.
    PostMessageW(program.window(), WM_COMMAND, IDM_LOAD_SCRIPT, 0);
    // Once the window has handled the second press and the menu command, the run still holds it.
    ASSERT_TRUE(program.WaitForPostedMessages());
    EXPECT_TRUE(StateOf(program).scanning()) << "a second run gave the window back while the first was held";
    EXPECT_TRUE(NotepadChildren(program.id()).empty());
    EXPECT_EQ(AnyDialog(program.id()), nullptr) << "the open dialog came up during a run";
    held.Release();

    ExpectNotepadOnReportAndEndIt(program);
    EXPECT_TRUE(WaitFor([&] { return StateOf(program).idle(); }, kHangBoundMs));
    EXPECT_EQ(TextOf(program.window()), L"Quillfen v1.0 - by tarnwick");
    EXPECT_EQ(TextOf(program.control(IDC_SCRIPT)), script);

    std::wstring windowShape, windowBody;
    SplitReport(ReadUtf16File(ReportPath()), windowShape, windowBody);
    EXPECT_EQ(windowShape, L"Quillfen v#.# by tarnwick (##.##.##)\r\nLog created at ##:## on ##/##/#### by " +
                               std::wstring(_wgetenv(L"USERNAME")) + L" (Administrator - Elevation successful)\r\n");
    EXPECT_NE(windowBody.find(L"\r\n========== ENV ==========\r\n%QUILLFEN_WINDOW_TEST% = from the test\r\n"
                              L"line 0 %QUILLFEN_WINDOW_TEST% = line 0 from the test\r\n"),
              std::wstring::npos);
    const std::wstring contents =
        L"\r\n" + held.path() + L" - Opened succesfully.\r\n\r\nheld open\nuntil the test lets go\n\r\n" + kEndOfFile;
    EXPECT_TRUE(windowBody.ends_with(contents)) << Narrow(windowBody.substr(windowBody.size() - 200));

    // The console front end, given the same script, writes the same report.
    // It need not be held: let go at once, the file is just its content, as the window's run saw it.
    HeldFile again(L"quillfen-window-test.txt", "held open\r\nuntil the test lets go\r\n");
    again.Release();
    std::wstring cliShape, cliBody;
    SplitReport(CliReport(script), cliShape, cliBody);
    EXPECT_EQ(cliShape, windowShape);
    EXPECT_TRUE(cliBody == windowBody) << "the window's and the console's reports differ";
}

TEST_F(Window, AnEmptyBoxDoesNothingAndTheNextPressStillRuns) {
    QuillfenProcess program;
    ASSERT_NE(program.window(), nullptr);
    program.ClickLook();
    // The press has been handled; a run, had one started, would hold the window.
    ASSERT_TRUE(program.WaitForPostedMessages());
    EXPECT_TRUE(StateOf(program).idle());
    EXPECT_EQ(GetFileAttributesW(ReportPath().c_str()), INVALID_FILE_ATTRIBUTES) << "a report was made";
    EXPECT_TRUE(NotepadChildren(program.id()).empty());

    // The early end gave the run back: a press with a script now makes a report.
    program.SetScript(L":ENV\r\nafter\r\n");
    program.ClickLook();
    ExpectNotepadOnReportAndEndIt(program);
    EXPECT_NE(ReadUtf16File(ReportPath()).find(L"after = after"), std::wstring::npos);
}

TEST_F(Window, ExitButtonMenuItemAndCloseBoxEndTheProgram) {
    struct Way {
        const char* name;
        std::function<void(const QuillfenProcess&)> close;
    } ways[] = {
        {"Exit button", [](const QuillfenProcess& p) { PostMessageW(p.control(IDC_EXIT), BM_CLICK, 0, 0); }},
        {"E&xit menu item", [](const QuillfenProcess& p) { PostMessageW(p.window(), WM_COMMAND, IDC_EXIT, 0); }},
        {"close box", [](const QuillfenProcess& p) { PostMessageW(p.window(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const Way& way : ways) {
        QuillfenProcess program;
        ASSERT_NE(program.window(), nullptr) << way.name;
        way.close(program);
        DWORD exitCode = 99;
        EXPECT_TRUE(program.WaitForExit(exitCode)) << way.name << " left the program running";
        EXPECT_EQ(exitCode, 0u) << way.name;
        EXPECT_FALSE(IsWindow(program.window())) << way.name;
    }
}

TEST_F(Window, ClosingDuringARunEndsItWithoutEndMarkerOrNotepad) {
    HeldFile held(L"quillfen-window-close-test.txt", "");
    QuillfenProcess program;
    ASSERT_NE(program.window(), nullptr);
    program.SetScript(L":ENV\r\nwritten before the close\r\n:CONTENTS\r\n" + held.path() +
                      L"\r\n:ENV\r\nnever reached\r\n");
    program.ClickLook();
    ASSERT_TRUE(held.WaitForReader(kHangBoundMs));
    PostMessageW(program.control(IDC_EXIT), BM_CLICK, 0, 0);
    DWORD exitCode = 99;
    EXPECT_TRUE(program.WaitForExit(exitCode)) << "the program hung on its way out";
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(NotepadChildren(program.id()).empty());

    std::wstring shape, body;
    SplitReport(ReadUtf16File(ReportPath()), shape, body);
    EXPECT_EQ(body, Banner(L"ENV") + L"written before the close = written before the close\r\n" + Banner(L"CONTENTS") +
                        L"\r\n" + held.path() + L" - Opened succesfully.\r\n\r\n");
}

// Closed while the run's threads walk a large key and write it: the process ends at once with 0, and
// the report is the start of what the whole run writes, in whole code units, with no end marker.
TEST_F(Window, ClosingWhileTheRunsThreadsWriteEndsCleanlyAndLeavesTheStartOfTheReport) {
    TestKey key(L"QuillfenWindowClose");
    for (int i = 0; i < 300; ++i) {
        const std::wstring sub = L"key " + std::to_wstring(i);
        for (int j = 0; j < 4; ++j) key.SetString(L"value " + std::to_wstring(j), std::wstring(40, L'a' + j), sub);
    }
    const std::wstring top = L"[HKEY_CURRENT_USER\\" + key.path() + L"]";
    std::wstring walks = L":REG\r\n";
    for (int i = 0; i < 40; ++i) walks += L"HKCU\\" + key.path() + L" /s\r\n";
    // The held file keeps the run from ending before the close, however fast the walks are.
    HeldFile held(L"quillfen-window-close-threads-test.txt", "");
    const std::wstring script = walks + L":CONTENTS\r\n" + held.path() + L"\r\n";
    std::wstring shape, whole;
    SplitReport(CliReport(walks), shape, whole);
    ASSERT_TRUE(whole.ends_with(kEndOfFile));
    whole.resize(whole.size() - kEndOfFile.size());
    whole += Banner(L"CONTENTS") + L"\r\n" + held.path() + L" - Opened succesfully.\r\n\r\n";

    QuillfenProcess program;
    ASSERT_NE(program.window(), nullptr);
    program.SetScript(script);
    program.ClickLook();
    ASSERT_TRUE(WaitFor([&] { return ReportSoFar().find(top) != std::wstring::npos; }, kHangBoundMs))
        << "the report never showed the first walk's key";
    PostMessageW(program.window(), WM_CLOSE, 0, 0);
    DWORD exitCode = 99;
    ASSERT_TRUE(program.WaitForExit(exitCode)) << "the program was still running long after its window closed";
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(NotepadChildren(program.id()).empty());

    EXPECT_EQ(ReadFileBytes(ReportPath()).size() % 2, 0u);
    std::wstring body;
    SplitReport(ReadUtf16File(ReportPath()), shape, body);
    std::printf("closed with %zu of %zu characters written\n", body.size(), whole.size());
    EXPECT_NE(body.find(top), std::wstring::npos);
    EXPECT_FALSE(body.ends_with(kEndOfFile));
    EXPECT_TRUE(whole.starts_with(body)) << "the report is not the start of the whole run's report";
}

}  // namespace
