#include "report/create_log.h"

#include <windows.h>
// clang-format off
#include <shlobj.h>  // needs windows.h first
#include <knownfolders.h>
// clang-format on
#include <share.h>

#include <cstdlib>
#include <cwchar>
#include <string>

#include "report/fallbacks.h"
#include "report/log.h"
#include "util/environment.h"
#include "util/handles.h"
#include "util/owned.h"
#include "util/path_forms.h"
#include "util/registry_values.h"

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

using GetKnownFolderFn = HRESULT(WINAPI*)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);
using TaskMemFreeFn = void(WINAPI*)(void*);

// The shell's function, loaded from System32 on first use: a run whose report is named never loads
// the shell, whose start (and that of what it loads in turn) costs more than a small scan.
template <typename Function>
Function SystemFunction(const wchar_t* dll, const char* name) {
    HMODULE module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                             : nullptr;
}

// The desktop as the shell knows it now (it may have been moved or redirected); the "Shell Folders"
// value is only a copy kept for old programs, which may be stale or missing.
OwnedText DesktopFolder() {
    const auto getKnownFolder = SystemFunction<GetKnownFolderFn>(L"shell32.dll", "SHGetKnownFolderPath");
    const auto taskMemFree = SystemFunction<TaskMemFreeFn>(L"ole32.dll", "CoTaskMemFree");
    wchar_t* known = nullptr;
    OwnedText folder;
    if (getKnownFolder != nullptr && taskMemFree != nullptr) {
        if (SUCCEEDED(getKnownFolder(FOLDERID_Desktop, 0, nullptr, &known)) && known != nullptr && known[0] != L'\0') {
            folder = CopyText(known);
        }
        taskMemFree(known);
    }
    return folder ? std::move(folder) : GetDesktopFolder();
}

}  // namespace

OwnedText GetReportPath() {
    OwnedText folder(DesktopFolder());
    if (!folder) return nullptr;
    size_t folderLength = wcslen(folder.get());
    size_t nameLength = wcslen(kReportName);
    OwnedText path = AllocText(folderLength + nameLength);
    wmemcpy(path.get(), folder.get(), folderLength);
    wmemcpy(path.get() + folderLength, kReportName, nameLength);
    return path;
}

Stream CreateLog() {
    OwnedText path = GetReportPath();
    return path ? CreateLogAt(path.get()) : Stream();
}

Stream CreateLogAt(const wchar_t* path) {
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
    Log(ExpandEnvironment(kUserName).get(), report.get());
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
        if (failure == 0) break;
    }
    return failure;
}
