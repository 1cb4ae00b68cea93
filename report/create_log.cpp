#include "report/create_log.h"

#include <windows.h>
// clang-format off
#include <shlobj.h>  // needs windows.h first
#include <knownfolders.h>
#include <shellapi.h>
// clang-format on
#include <share.h>

#include <cstdlib>
#include <cwchar>
#include <string>

#include "report/fallbacks.h"
#include "report/log.h"
#include "util/environment.h"
#include "util/handles.h"
#include "util/path_forms.h"
#include "util/registry_values.h"
#include "util/report_user.h"
#include "util/system_function.h"

namespace {

const wchar_t kReportName[] = L"\\Quillfen.txt";
const wchar_t kProductLineStart[] = L"Quillfen v1.0 by tarnwick (";
const wchar_t kProductBuild[] = L"11.01.10";
const wchar_t kProductLineEnd[] = L")\r\n";
const wchar_t kCreationLine[] = L"Log created at %02u:%02u on %02u/%02u/%u by ";
const wchar_t kUserName[] = L"%username%";
constexpr size_t kReportBufferBytes = 64 * 1024;

// 0 when Notepad started on the report, else why it did not.
unsigned long StartNotepad(const std::wstring& program, const wchar_t* reportPath) {
    std::wstring commandLine = L"\"" + program + L"\" \"" + reportPath + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    // No standard handles: Wine hands the caller's on even to a program that inherits nothing, and a
    // Notepad left open would then hold the console front end's captured output open, so that whoever
    // reads it waits for Notepad to be closed.
    startup.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        const unsigned long error = GetLastError();
        return error != 0 ? error : ERROR_FILE_NOT_FOUND;
    }
    // Neither handle is used: the guards close them.
    KernelHandle thread(process.hThread);
    KernelHandle started(process.hProcess);
    return 0;
}

// The process's standard handles hidden for the object's life, so that nothing started meanwhile gets
// them, for the reason given for Notepad above. Loading the shell is enough under Wine to start its
// desktop process when none runs, and that one lives on.
class HiddenStandardHandles {
public:
    HiddenStandardHandles() {
        for (int i = 0; i < 3; ++i) {
            saved_[i] = GetStdHandle(kKinds[i]);
            SetStdHandle(kKinds[i], nullptr);
        }
    }
    ~HiddenStandardHandles() {
        for (int i = 0; i < 3; ++i) SetStdHandle(kKinds[i], saved_[i]);
    }
    HiddenStandardHandles(const HiddenStandardHandles&) = delete;
    HiddenStandardHandles& operator=(const HiddenStandardHandles&) = delete;

private:
    static constexpr DWORD kKinds[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE saved_[3] = {};
};

// The user's own program for text files: Windows 11 can remove the in-box Notepad (an optional feature)
// or hand it over to the Store's Notepad. The shell's own error box is not shown: the caller says it.
bool OpenWithTextProgram(const wchar_t* path) {
    const HiddenStandardHandles hidden;
    using ShellExecuteExFn = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
    using CoInitializeExFn = HRESULT(WINAPI*)(void*, DWORD);
    using CoUninitializeFn = void(WINAPI*)();
    const auto shellExecute = SystemFunction<ShellExecuteExFn>(L"shell32.dll", "ShellExecuteExW");
    const auto initialize = SystemFunction<CoInitializeExFn>(L"ole32.dll", "CoInitializeEx");
    const auto uninitialize = SystemFunction<CoUninitializeFn>(L"ole32.dll", "CoUninitialize");
    if (shellExecute == nullptr || initialize == nullptr || uninitialize == nullptr) return false;
    // A handler may be a shell extension reached through COM, which the calling thread must have set up.
    const HRESULT com = initialize(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof execute;
    // Done before the call returns: the console front end may exit right after it.
    execute.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    execute.lpVerb = L"open";
    execute.lpFile = path;
    execute.nShow = SW_SHOWNORMAL;
    const bool opened = shellExecute(&execute) != FALSE;
    if (SUCCEEDED(com)) uninitialize();
    return opened;
}

using GetKnownFolderFn = HRESULT(WINAPI*)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);
using TaskMemFreeFn = void(WINAPI*)(void*);

// The desktop as the shell knows it now for the token's user (null: this process's): it may have been
// moved or redirected, and the "Shell Folders" value is only a copy kept for old programs, which may be
// stale or missing. Empty when the shell gives none.
std::optional<std::wstring> KnownDesktop(HANDLE token) {
    const auto getKnownFolder = SystemFunction<GetKnownFolderFn>(L"shell32.dll", "SHGetKnownFolderPath");
    const auto taskMemFree = SystemFunction<TaskMemFreeFn>(L"ole32.dll", "CoTaskMemFree");
    wchar_t* known = nullptr;
    std::optional<std::wstring> folder;
    if (getKnownFolder != nullptr && taskMemFree != nullptr) {
        if (SUCCEEDED(getKnownFolder(FOLDERID_Desktop, 0, token, &known)) && known != nullptr && known[0] != L'\0') {
            folder = known;
        }
        taskMemFree(known);
    }
    return folder;
}

// The signed-in user's desktop: the shell's answer for that user's token (which wants the user's hive
// loaded, as it is while the user is signed in), else what that user's registry records.
std::optional<std::wstring> DesktopFolder(const ReportUser* user) {
    if (user == nullptr) {
        std::optional<std::wstring> folder = KnownDesktop(nullptr);
        return folder ? folder : GetDesktopFolder();
    }
    std::optional<std::wstring> folder = user->token ? KnownDesktop(user->token.get()) : std::nullopt;
    if (folder) return folder;
    if (user->registryDesktop.empty()) return std::nullopt;
    return user->registryDesktop;
}

}  // namespace

std::wstring GetReportPath(const ReportUser* user) {
    const std::optional<std::wstring> folder = DesktopFolder(user);
    // Up to the first NUL, as the folder always was taken.
    return folder ? std::wstring(folder->c_str()) + kReportName : std::wstring();
}

Stream CreateLog(const wchar_t* path) {
    // Readers may look in while the run writes, but no second writer may come in between. Opened in its
    // \\?\ form: a desktop or a named report deep in a tree may be longer than MAX_PATH.
    Stream report(_wfsopen(OpenablePathOf(path).path.c_str(), L"wb", _SH_DENYWR));
    if (!report) return report;
    // Flushed by line and by time, not by write: a large buffer, of an even size so that it holds
    // whole code units.
    setvbuf(report.get(), nullptr, _IOFBF, kReportBufferBytes);
    TakeLogFailure(report.get());  // a stream closed earlier at the same address may have left one
    Log(kProductLineStart, report.get());
    Log(kProductBuild, report.get());
    Log(kProductLineEnd, report.get());

    SYSTEMTIME now = {};
    GetLocalTime(&now);
    wchar_t line[80] = {};
    swprintf(line, 80, kCreationLine, now.wHour, now.wMinute, now.wDay, now.wMonth, now.wYear);
    Log(line, report.get());
    // The name is written whole, however long it is.
    Log(ExpandEnvironment(kUserName).c_str(), report.get());
    return report;
}

unsigned long CloseLog(Stream& report) {
    if (!report) return 0;
    // Flushed on its own first: a C library may drop the failure of the flush inside fclose.
    FlushLog(report.get());
    unsigned long failure = TakeLogFailure(report.get());
    _doserrno = 0;
    SetLastError(0);
    if (fclose(report.release()) != 0 && failure == 0) failure = StreamFailureCode(_doserrno);
    return failure;
}

unsigned long OpenLogAt(const wchar_t* path) {
    unsigned long failure = ERROR_FILE_NOT_FOUND;
    for (const std::wstring& notepad : NotepadCandidates(WindowsFolder())) {
        failure = StartNotepad(notepad, path);
        if (failure == 0) return 0;
    }
    // What is said when nothing shows the report names Notepad's failure, as before there was a third try.
    return OpenWithTextProgram(path) ? 0 : failure;
}
