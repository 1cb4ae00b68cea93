#include "report/fallbacks.h"

#include <windows.h>

#include "util/environment.h"

namespace {

const wchar_t kReportFileName[] = L"Quillfen.txt";
const wchar_t kDefaultWindowsFolder[] = L"C:\\WINDOWS";

std::wstring InFolder(std::wstring folder, const wchar_t* name) {
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder + name;
}

}  // namespace

bool FolderRefusedReport(unsigned long error, bool desktopIsFolder) {
    if (error == ERROR_SUCCESS || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return false;
    return desktopIsFolder || error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT;
}

std::wstring TempReportPath(const std::wstring& tempFolder) {
    return tempFolder.empty() ? std::wstring() : InFolder(tempFolder, kReportFileName);
}

std::wstring UserTempReportPath() {
    // At most MAX_PATH + 1 characters, final backslash included, as the call's own limit.
    wchar_t folder[MAX_PATH + 2] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 2, folder);
    return length == 0 || length > MAX_PATH + 1 ? std::wstring() : TempReportPath(std::wstring(folder, length));
}

std::vector<std::wstring> NotepadCandidates(const std::wstring& windowsFolder) {
    const std::wstring folder = windowsFolder.empty() ? kDefaultWindowsFolder : windowsFolder;
    return {InFolder(folder, L"notepad.exe"), InFolder(InFolder(folder, L"System32"), L"notepad.exe")};
}

std::wstring WindowsFolder() {
    const std::wstring systemRoot = ExpandEnvironment(L"%SystemRoot%");
    if (!systemRoot.empty() && systemRoot[0] != L'%') return systemRoot;
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT length = GetSystemWindowsDirectoryW(folder, MAX_PATH + 1);
    return length == 0 || length > MAX_PATH ? std::wstring() : std::wstring(folder, length);
}
