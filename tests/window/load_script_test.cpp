// "Load Script...": the loader on a window of the test's own, and the real menu item through the
// standard open dialog of the running program.
#include <gtest/gtest.h>

#include "app/window/window.h"
#include "tests/support/test_support.h"
#include "tests/support/window_driver.h"
#include "util/handles.h"

namespace {

// A stand-in main window with a script box of id 300, as the loader expects.
class ScriptWindow {
public:
    ScriptWindow() {
        window_ = CreateWindowExW(0, L"STATIC", L"loader test", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        box_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"before", WS_CHILD | ES_MULTILINE, 0, 0, 300, 150, window_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_SCRIPT)), GetModuleHandleW(nullptr),
                               nullptr);
        EXPECT_TRUE(window_ && box_);
    }
    ~ScriptWindow() { DestroyWindow(window_); }
    HWND window() const { return window_; }
    std::wstring text() const { return TextOf(box_); }

private:
    HWND window_ = nullptr;
    HWND box_ = nullptr;
};

TEST(LoadScript, PutsEveryEncodingIntoTheScriptBox) {
    ScratchFolder folder;
    ScriptWindow window;
    for (const EncodedScript& c : EncodedScripts()) {
        WriteFileBytes(folder / L"script.txt", c.bytes);
        EXPECT_TRUE(LoadScript(window.window(), (folder / L"script.txt").c_str())) << c.name;
        EXPECT_EQ(window.text(), c.text) << c.name;
    }
}

TEST(LoadScript, LoadsAScriptLongerThanTheDefaultEditLimitWhileAnEditorHoldsIt) {
    ScratchFolder folder;
    ScriptWindow window;
    std::string script = ":ENV\r\n";
    while (script.size() < 100000) script += "%SystemRoot% and a little more text\r\n";
    WriteFileBytes(folder / L"long.txt", script);
    // An editor that has the file open for writing does not stop the loader.
    FileHandle editor(CreateFileW((folder / L"long.txt").c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(editor);
    ASSERT_TRUE(LoadScript(window.window(), (folder / L"long.txt").c_str()));
    EXPECT_EQ(Narrow(window.text()), script);
}

TEST(LoadScript, AFileThatCannotBeOpenedShowsTheErrorAndKeepsTheBox) {
    ScratchFolder folder;
    ScriptWindow window;
    const std::wstring paths[] = {folder / L"missing.txt", folder / L"locked.txt"};
    WriteFileBytes(paths[1], ":ENV\r\nlocked");
    FileHandle locked(CreateFileW(paths[1].c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(locked);
    for (const std::wstring& path : paths) {
        MessageBoxSeen seen = CatchMessageBox(
            GetCurrentProcessId(), [&] { EXPECT_FALSE(LoadScript(window.window(), path.c_str())) << Narrow(path); });
        EXPECT_EQ(seen.caption, L"Error") << Narrow(path);
        EXPECT_EQ(seen.text, L"Unable to load script file.") << Narrow(path);
        EXPECT_EQ(seen.owner, window.window()) << Narrow(path);
        EXPECT_EQ(window.text(), L"before") << Narrow(path);
    }
}

// Types `path` into the dialog's file name field and presses Open.
void ChooseFile(HWND dialog, const std::wstring& path) {
    const int kFileNameCombo = 0x47C;  // cmb13
    const int kFileNameEdit = 0x480;   // edt1
    HWND field = GetDlgItem(dialog, kFileNameCombo);
    if (!field) field = GetDlgItem(dialog, kFileNameEdit);
    ASSERT_NE(field, nullptr) << "the open dialog has no file name field";
    SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
}

// The menu item hands the chosen file to the loader for the main window (whose errors
// LoadScript.AFileThatCannotBeOpenedShowsTheErrorAndKeepsTheBox shows).
TEST(LoadScriptMenu, ChoosingAFileLoadsIt) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"chosen.txt", "\xEF\xBB\xBF:ENV\r\nchosen \xE2\x82\xAC\r\n");
    QuillfenProcess program;
    ASSERT_NE(program.window(), nullptr);
    program.SetScript(L"typed before");

    PostMessageW(program.window(), WM_COMMAND, IDM_LOAD_SCRIPT, 0);
    HWND dialog = WaitForOpenDialog(program.id());
    ASSERT_NE(dialog, nullptr) << "no open dialog";
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), program.window());
    ChooseFile(dialog, folder / L"chosen.txt");
    EXPECT_TRUE(
        WaitFor([&] { return TextOf(program.control(IDC_SCRIPT)) == L":ENV\r\nchosen \u20ac\r\n"; }, kHangBoundMs))
        << Narrow(TextOf(program.control(IDC_SCRIPT)));
}

}  // namespace
