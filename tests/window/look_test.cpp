// The worker, `Look`: in this process with a window of the test's own, the messages it posts and the
// report it writes; then whole runs of the real window, one after another and one whose report cannot
// be made.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "app/window/window.h"
#include "report/fallbacks.h"
#include "tests/support/test_support.h"
#include "tests/support/window_driver.h"
#include "util/handles.h"

namespace {

// A message-only window of the test's thread, standing in for the main window.
class MessageWindow {
public:
    MessageWindow()
        : window_(CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr)) {
        EXPECT_NE(window_, nullptr) << "error " << GetLastError();
    }
    ~MessageWindow() { DestroyWindow(window_); }
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;
    HWND get() const { return window_; }

    // The WM_APP messages posted to the window so far, in order, as "message:wParam". The run that
    // comes back with kLookFinished is kept in handedBack.
    std::vector<std::wstring> TakePosted() {
        std::vector<std::wstring> posted;
        MSG message;
        while (PeekMessageW(&message, window_, WM_APP, 0xBFFF, PM_REMOVE)) {
            posted.push_back(std::to_wstring(message.message - WM_APP) + L":" + std::to_wstring(message.wParam));
            if (message.message == kLookFinished) handedBack.reset(reinterpret_cast<LookRun*>(message.lParam));
        }
        return posted;
    }
    std::unique_ptr<LookRun> handedBack;

private:
    HWND window_;
};

// Hands `run` to `Look` on a thread of its own, as the window does, and waits for it; its exit code.
DWORD RunWorker(std::unique_ptr<LookRun> run) {
    KernelHandle thread(CreateThread(nullptr, 0, Look, run.get(), 0, nullptr));
    if (!thread) {
        ADD_FAILURE() << "no worker thread: error " << GetLastError();
        return 99;
    }
    run.release();  // the worker deletes it
    EXPECT_EQ(WaitForSingleObject(thread.get(), kHangBoundMs), WAIT_OBJECT_0) << "the worker did not end";
    DWORD exitCode = 99;
    GetExitCodeThread(thread.get(), &exitCode);
    return exitCode;
}

std::unique_ptr<LookRun> MakeRun(HWND window, const std::wstring& script, const std::wstring& reportPath) {
    auto run = std::make_unique<LookRun>();
    run->window = window;
    run->script.assign(script.begin(), script.end());
    run->script.push_back(L'\0');
    run->options.reportPath = reportPath.c_str();
    return run;
}

const std::wstring kStarted = std::to_wstring(kLookStarted - WM_APP) + L":0";
std::wstring Finished(int result) { return std::to_wstring(kLookFinished - WM_APP) + L":" + std::to_wstring(result); }

TEST(Look, ARunThatEndsEarlyStillEndsWithItsFinishedMessage) {
    ScratchFolder folder;
    const struct {
        const char* name;
        std::wstring script;
        std::wstring reportPath;
        bool noScript;  // the run holds no text at all, not even a terminator
        ScanOutcome outcome;
        unsigned long systemError;
    } cases[] = {
        {"empty script", L"", folder / L"empty.txt", false, ScanOutcome::EmptyScript, 0},
        {"no script", L"", folder / L"none.txt", true, ScanOutcome::EmptyScript, 0},
        {"report not created", L":ENV\r\nx\r\n", folder / L"missing\\Quillfen.txt", false,
         ScanOutcome::ReportNotCreated, ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        MessageWindow window;
        auto run = MakeRun(window.get(), c.script, c.reportPath);
        if (c.noScript) run->script.clear();
        EXPECT_EQ(RunWorker(std::move(run)), 0u) << c.name;
        EXPECT_EQ(window.TakePosted(), (std::vector<std::wstring>{kStarted, Finished(0)})) << c.name;
        ASSERT_TRUE(window.handedBack) << c.name;
        EXPECT_EQ(window.handedBack->outcome, c.outcome) << c.name;
        EXPECT_EQ(window.handedBack->result.systemError, c.systemError) << c.name;
        EXPECT_EQ(GetFileAttributesW(c.reportPath.c_str()), INVALID_FILE_ATTRIBUTES) << c.name << ": a report was made";
    }
}

// A complete run is announced and ended by messages around its report; one that asks for progress
// reports its lines between them, and writes the same report.
TEST(Look, ARunThatAsksForProgressReportsItsLinesBetweenStartedAndFinished) {
    ScratchFolder folder;
    const struct {
        bool showProgress;
        std::vector<std::wstring> posted;  // "message:wParam", with what lParam carries
    } cases[] = {
        {false, {L"1:0", L"2:1 with its run"}},
        {true, {L"1:0", L"3:1 of 3", L"3:2 of 3", L"3:3 of 3", L"2:1 with its run"}},
    };
    for (const auto& c : cases) {
        MessageWindow window;
        const std::wstring path = folder / (c.showProgress ? L"progress.txt" : L"quiet.txt");
        auto run = MakeRun(window.get(), L":ENV\r\none\r\ntwo\r\n", path);
        run->showProgress = c.showProgress;
        EXPECT_EQ(RunWorker(std::move(run)), 1u);
        std::vector<std::wstring> posted;
        MSG message;
        while (PeekMessageW(&message, window.get(), WM_APP, 0xBFFF, PM_REMOVE)) {
            std::wstring entry = std::to_wstring(message.message - WM_APP) + L":" + std::to_wstring(message.wParam);
            if (message.message == kLookProgress) entry += L" of " + std::to_wstring(message.lParam);
            if (message.message == kLookFinished) {
                std::unique_ptr<LookRun> handedBack(reinterpret_cast<LookRun*>(message.lParam));
                if (handedBack) {
                    entry += L" with its run";
                    EXPECT_EQ(handedBack->outcome, ScanOutcome::Completed);
                }
            }
            posted.push_back(entry);
        }
        EXPECT_EQ(posted, c.posted) << "progress " << c.showProgress;
        std::wstring shape, body;
        SplitReport(ReadUtf16File(path), shape, body);
        EXPECT_TRUE(shape.starts_with(L"Quillfen v#.# by tarnwick (##.##.##)\r\nLog created at ")) << Narrow(shape);
        EXPECT_EQ(body, Banner(L"ENV") + L"one = one\r\ntwo = two\r\n" + kEndOfFile);
    }
}

TEST_F(Window, ASecondRunReplacesTheReport) {
    QuillfenProcess program;
    ASSERT_NE(program.window(), nullptr);
    const std::wstring scripts[] = {L":ENV\r\nfirst run, with a longer line than the second\r\n",
                                    L":ENV\r\nsecond\r\n"};
    const std::wstring bodies[] = {
        L"\r\n========== ENV ==========\r\nfirst run, with a longer line than the second = first run, with a longer "
        L"line than the second\r\n" +
            kEndOfFile,
        Banner(L"ENV") + L"second = second\r\n" + kEndOfFile,
    };
    for (int run = 0; run < 2; ++run) {
        program.SetScript(scripts[run]);
        program.ClickLook();
        ExpectNotepadOnReportAndEndIt(program);
        EXPECT_TRUE(WaitFor([&] { return StateOf(program).idle(); }, kHangBoundMs));
        std::wstring shape, body;
        SplitReport(ReadUtf16File(ReportPath()), shape, body);
        EXPECT_EQ(body, bodies[run]) << "run " << run;
    }
}

TEST_F(Window, AReportThatCannotBeCreatedGivesTheWindowBack) {
    QuillfenProcess program;
    ASSERT_NE(program.window(), nullptr);
    {
        FileHandle held(CreateFileW(ReportPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(held);
        program.SetScript(L":ENV\r\nlocked out\r\n");
        MessageBoxSeen seen = CatchMessageBox(program.id(), [&] { program.ClickLook(); });
        EXPECT_EQ(seen.caption, L"Error");
        EXPECT_EQ(seen.text, L"The report could not be created:\n" + ReportPath() + L"\n\n" +
                                 Wide(SystemMessageText(ERROR_SHARING_VIOLATION)));
        EXPECT_EQ(seen.owner, program.window());
        EXPECT_TRUE(StateOf(program).idle());
        EXPECT_TRUE(NotepadChildren(program.id()).empty());
        LARGE_INTEGER size = {};
        GetFileSizeEx(held.get(), &size);
        EXPECT_EQ(size.QuadPart, 0) << "the run wrote into a file it could not open";
    }
    EXPECT_EQ(TextOf(program.control(IDC_SCRIPT)), L":ENV\r\nlocked out\r\n");
    program.ClickLook();
    ExpectNotepadOnReportAndEndIt(program);
    EXPECT_NE(ReadUtf16File(ReportPath()).find(L"locked out = locked out"), std::wstring::npos);
}

TEST_F(Window, AReportThatCannotBeWrittenWholeIsNotOpenedButExplained) {
    QuillfenProcess program;
    ASSERT_NE(program.window(), nullptr);
    std::wstring desktop = ReportPath();
    desktop.resize(desktop.rfind(L'\\'));
    TinyVolume tiny(desktop, 16);
    ASSERT_TRUE(tiny.mounted());
    std::wstring script = L":ENV";
    for (int i = 0; i < 300; ++i) script += L"\r\nline " + std::to_wstring(i) + L" of a report too big for the desktop";
    program.SetScript(script);
    MessageBoxSeen seen = CatchMessageBox(program.id(), [&] { program.ClickLook(); });
    EXPECT_EQ(seen.caption, L"Error");
    EXPECT_EQ(seen.text, L"The report is incomplete: part of it could not be written.\n" + ReportPath() + L"\n\n" +
                             Wide(SystemMessageText(ERROR_DISK_FULL)));
    EXPECT_TRUE(WaitFor([&] { return StateOf(program).idle(); }, kHangBoundMs));
    EXPECT_TRUE(NotepadChildren(program.id()).empty());
    const std::wstring written = ReadUtf16File(ReportPath());
    EXPECT_EQ(written.size() * 2, 16384u);
    EXPECT_EQ(written.rfind(L"Quillfen v1.0 by tarnwick (11.01.10)\r\n", 0), 0u);
    DeleteFileW(ReportPath().c_str());
}

TEST_F(Window, ARunThatCannotUseTheDesktopOrNotepadSaysWhereTheReportIsInABox) {
    ScratchFolder temp;
    ScopedEnvironment tempVariable(L"TMP", temp.path().c_str());  // for the programs started below
    const std::wstring tempReport = temp / L"Quillfen.txt";
    const struct {
        const char* name;
        bool desktopRefuses;  // made immutable: Wine answers access denied, as Controlled Folder Access does
        bool notepadMissing;
        std::wstring report;
        std::wstring box;
    } cases[] = {
        {"desktop refuses", true, false, tempReport,
         L"The desktop refused the report, so it was written to the temporary folder instead:\n" + tempReport +
             L"\n\n" + Wide(SystemMessageText(ERROR_ACCESS_DENIED))},
        {"no Notepad", false, true, desktop_.report(),
         L"The report was written, but Notepad could not be started to show it:\n" + desktop_.report() + L"\n\n" +
             Wide(SystemMessageText(ERROR_FILE_NOT_FOUND))},
    };
    for (const auto& c : cases) {
        std::optional<ImmutableFolder> refusing;
        if (c.desktopRefuses) refusing.emplace(desktop_.path());
        std::optional<FilesMovedAside> missing;
        if (c.notepadMissing) missing.emplace(NotepadCandidates(WindowsFolder()));
        ASSERT_TRUE(!refusing || refusing->made()) << c.name;
        ASSERT_TRUE(!missing || missing->moved()) << c.name;

        QuillfenProcess program;
        ASSERT_NE(program.window(), nullptr) << c.name;
        program.SetScript(L":ENV\r\n" + Wide(c.name) + L"\r\n");
        MessageBoxSeen seen = CatchMessageBox(program.id(), [&] { program.ClickLook(); });
        EXPECT_EQ(seen.caption, L"Quillfen") << c.name;
        EXPECT_EQ(seen.text, c.box) << c.name;
        EXPECT_EQ(seen.owner, program.window()) << c.name;
        // Notepad comes once the box is closed, on the report where it is.
        const std::vector<DWORD> notepads = WaitForNotepadsOn(c.report, c.notepadMissing ? 0 : kHangBoundMs);
        EXPECT_EQ(notepads.size(), c.notepadMissing ? 0u : 1u) << c.name;
        for (DWORD id : notepads) EndProcess(id);
        EXPECT_TRUE(WaitFor([&] { return StateOf(program).idle(); }, kHangBoundMs)) << c.name;
        std::wstring shape, body;
        SplitReport(ReadUtf16File(c.report), shape, body);
        EXPECT_EQ(body, Banner(L"ENV") + Wide(c.name) + L" = " + Wide(c.name) + L"\r\n" + kEndOfFile) << c.name;
    }
}

}  // namespace
