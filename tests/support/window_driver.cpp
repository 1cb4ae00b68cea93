#include "tests/support/window_driver.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>
#include <winternl.h>

#include "report/create_log.h"
#include "resources/resource.h"
#include "tests/support/test_support.h"
#include "util/handles.h"

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs) return condition();
        Sleep(10);
    }
    return true;
}

namespace {

struct WindowSearch {
    DWORD processId;
    const wchar_t* className;  // null: any visible window
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId) return TRUE;
    if (search->className ? ClassOf(window) != search->className : !IsWindowVisible(window)) return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindTopLevel(DWORD processId, const wchar_t* className) {
    WindowSearch search = {processId, className, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

QuillfenProcess::QuillfenProcess() {
    std::wstring commandLine = L"\"" + ExecutableFolder() + L"\\quillfen.exe\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process_)) {
        ADD_FAILURE() << "cannot start " << Narrow(commandLine) << ": error " << GetLastError();
        return;
    }
    // Found only once shown, so that the controls made during its creation are there.
    WaitFor(
        [&] {
            window_ = FindTopLevel(process_.dwProcessId, L"quillfen");
            return window_ && IsWindowVisible(window_) && GetDlgItem(window_, IDC_EXIT);
        },
        kHangBoundMs);
    WaitForInputIdle(process_.hProcess, kHangBoundMs);
    EXPECT_NE(window_, nullptr) << "quillfen.exe showed no window of class quillfen";
}

QuillfenProcess::~QuillfenProcess() {
    if (process_.hProcess == nullptr) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 5000);
    }
    // A Notepad left behind would keep the test run's output open.
    for (DWORD notepad : NotepadChildren(process_.dwProcessId)) EndProcess(notepad);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

bool QuillfenProcess::WaitForExit(DWORD& exitCode, DWORD timeoutMs) {
    if (WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
    GetExitCodeProcess(process_.hProcess, &exitCode);
    return true;
}

void QuillfenProcess::SetScript(const std::wstring& text) const {
    SendMessageW(control(IDC_SCRIPT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void QuillfenProcess::ClickLook() const { PostMessageW(control(IDC_LOOK), BM_CLICK, 0, 0); }

bool QuillfenProcess::WaitForPostedMessages(DWORD timeoutMs) const {
    // Posted messages of one thread are handled in the order they were posted, whichever of its
    // windows they went to; a change of the script box's modified flag, which the program never
    // looks at, comes in behind them.
    HWND box = control(IDC_SCRIPT);
    const bool flipped = SendMessageW(box, EM_GETMODIFY, 0, 0) == 0;
    PostMessageW(box, EM_SETMODIFY, flipped, 0);
    if (WaitFor([&] { return (SendMessageW(box, EM_GETMODIFY, 0, 0) != 0) == flipped; }, timeoutMs)) return true;
    ADD_FAILURE() << "the window's thread had not handled the messages posted to it after " << timeoutMs << " ms";
    return false;
}

WindowState StateOf(const QuillfenProcess& program) {
    WindowState state;
    state.scriptReadOnly = (GetWindowLongW(program.control(IDC_SCRIPT), GWL_STYLE) & ES_READONLY) != 0;
    state.lookEnabled = IsWindowEnabled(program.control(IDC_LOOK)) != FALSE;
    state.lookCaption = TextOf(program.control(IDC_LOOK));
    return state;
}

std::wstring TextOf(HWND window) {
    // Asked of the control itself: another process's edit control keeps its text to itself.
    LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT copied = SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(copied));
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

RECT ChildRect(HWND child) {
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::vector<DWORD> NotepadChildren(DWORD parentId) {
    std::vector<DWORD> found;
    FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return found;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID == parentId && lstrcmpiW(entry.szExeFile, L"notepad.exe") == 0) {
            found.push_back(entry.th32ProcessID);
        }
    }
    return found;
}

std::wstring CommandLineOf(DWORD id) {
    KernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
    if (!process) return {};
    PROCESS_BASIC_INFORMATION basic = {};
    if (NtQueryInformationProcess(process.get(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0)
        return {};
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    if (!ReadProcessMemory(process.get(), basic.PebBaseAddress, &peb, sizeof peb, nullptr) ||
        !ReadProcessMemory(process.get(), peb.ProcessParameters, &parameters, sizeof parameters, nullptr)) {
        return {};
    }
    std::wstring line(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
    if (!ReadProcessMemory(process.get(), parameters.CommandLine.Buffer, line.data(), parameters.CommandLine.Length,
                           nullptr)) {
        return {};
    }
    return line;
}

std::vector<DWORD> WaitForNotepadsOn(const std::wstring& path, DWORD timeoutMs) {
    std::vector<DWORD> found;
    WaitFor(
        [&] {
            found.clear();
            FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
            PROCESSENTRY32W entry = {};
            entry.dwSize = sizeof entry;
            for (BOOL more = snapshot && Process32FirstW(snapshot.get(), &entry); more;
                 more = Process32NextW(snapshot.get(), &entry)) {
                if (lstrcmpiW(entry.szExeFile, L"notepad.exe") == 0 &&
                    CommandLineOf(entry.th32ProcessID).ends_with(L" \"" + path + L"\"")) {
                    found.push_back(entry.th32ProcessID);
                }
            }
            return !found.empty();
        },
        timeoutMs);
    return found;
}

std::wstring WaitForWindowTitle(DWORD id, const std::wstring& part, DWORD timeoutMs) {
    std::wstring title = L"<no window>";
    WaitFor(
        [&] {
            HWND window = FindTopLevel(id, nullptr);
            if (window) title = TextOf(window);
            return title.find(part) != std::wstring::npos;
        },
        timeoutMs);
    return title;
}

void EndProcess(DWORD id) {
    KernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
    if (!process) return;
    TerminateProcess(process.get(), 0);
    WaitForSingleObject(process.get(), 5000);
}

HWND WaitForDialog(DWORD processId, DWORD timeoutMs, const std::function<bool(HWND)>& wanted) {
    HWND dialog = nullptr;
    WaitFor(
        [&] {
            dialog = nullptr;
            while ((dialog = FindWindowExW(nullptr, dialog, L"#32770", nullptr)) != nullptr) {
                DWORD owner = 0;
                GetWindowThreadProcessId(dialog, &owner);
                if (owner == processId && IsWindowVisible(dialog) && wanted(dialog)) return true;
            }
            return false;
        },
        timeoutMs);
    return dialog;
}

HWND AnyDialog(DWORD processId) {
    for (HWND dialog = nullptr; (dialog = FindWindowExW(nullptr, dialog, L"#32770", nullptr)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(dialog, &owner);
        if (owner == processId) return dialog;
    }
    return nullptr;
}

HWND WaitForOpenDialog(DWORD processId, DWORD timeoutMs) {
    return WaitForDialog(processId, timeoutMs, [](HWND) { return true; });
}

MessageBoxSeen CatchMessageBox(DWORD processId, const std::function<void()>& cause) {
    MessageBoxSeen seen;
    // Waits on a thread of its own, since `cause` may not return before the box is closed.
    std::thread closer([processId, &seen] {
        HWND box =
            WaitForDialog(processId, kHangBoundMs, [](HWND dialog) { return GetDlgItem(dialog, 0xFFFF) != nullptr; });
        if (!box) return;
        seen.caption = TextOf(box);
        seen.text = TextOf(GetDlgItem(box, 0xFFFF));  // the message box's text control
        seen.owner = GetWindow(box, GW_OWNER);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    cause();
    closer.join();
    return seen;
}

namespace {

// The file's size changed in place; false when it cannot be opened for writing.
bool SetFileSize(const std::wstring& path, LONGLONG size) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER at;
    at.QuadPart = size;
    return file && SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
}

}  // namespace

HeldFile::HeldFile(const std::wstring& name, const std::string& content) : contentSize_(content.size()) {
    wchar_t folder[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, folder);
    path_ = std::wstring(folder) + name;
    WriteFileBytes(path_, content);
    EXPECT_TRUE(SetFileSize(path_, LONGLONG{1} << 40)) << "cannot make " << Narrow(path_) << " a terabyte long";
}

HeldFile::~HeldFile() { DeleteFileW(path_.c_str()); }

bool HeldFile::WaitForReader(DWORD timeoutMs, const std::wstring& report) const {
    // Read from the report, not probed on the file: a probe that held the file even for a moment could
    // make the run's open fail.
    const std::wstring opened = L"\r\n" + path_ + L" - Opened succesfully.\r\n";
    const std::wstring path = report.empty() ? ReportPath() : report;
    return WaitFor([&] { return TextSoFar(path).find(opened) != std::wstring::npos; }, timeoutMs);
}

void HeldFile::Release() { EXPECT_TRUE(SetFileSize(path_, static_cast<LONGLONG>(contentSize_))); }

std::wstring ReportPath() {
    const std::wstring path = GetReportPath();
    return path.empty() ? L"<no desktop folder>" : path;
}

std::wstring ReportSoFar() { return TextSoFar(ReportPath()); }

void SplitReport(const std::wstring& report, std::wstring& headerShape, std::wstring& body) {
    ReportParts parts = SplitReportHeader(report);
    headerShape = parts.hasHeader ? parts.header : L"<no header>";
    for (wchar_t& c : headerShape) {
        if (c >= L'0' && c <= L'9') c = L'#';
    }
    body = parts.body;
}

void ExpectNotepadOnReportAndEndIt(const QuillfenProcess& program) {
    std::vector<DWORD> notepads;
    ASSERT_TRUE(WaitFor([&] { return !(notepads = NotepadChildren(program.id())).empty(); }, kHangBoundMs))
        << "no Notepad was started";
    EXPECT_EQ(notepads.size(), 1u);
    std::wstring title = WaitForWindowTitle(notepads[0], L"Quillfen", kHangBoundMs);
    EXPECT_NE(title.find(L"Quillfen"), std::wstring::npos) << Narrow(title);
    for (DWORD id : notepads) EndProcess(id);
}
