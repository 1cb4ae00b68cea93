// PROCESS: every running copy of a program, with its image path, digest and loaded modules.
#include <windows.h>
// psapi.h needs the types of windows.h first.
#include <psapi.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "directives/system/system.h"
#include "report/log.h"
#include "util/handles.h"
#include "util/md5.h"
#include "util/owned.h"
#include "util/sized_fetch.h"

namespace {

const wchar_t kNoProcess[] = L" - Unable to open process handle.\r\n";
const wchar_t kNoDigest[] = L"Unable to calculate MD5.";
const DWORD kProcessAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
// Path buffers hold the longest path the platform reports, plus a terminator it can never overwrite.
const DWORD kPathCapacity = 32768;
// Room for this many to begin with; the room doubles with each refetch.
const DWORD kFirstIdentifiers = 1024;

// The identifiers of one enumeration that had room to spare, so that none was left out.
std::vector<DWORD> EnumerateProcesses() {
    std::vector<BYTE> buffer;
    DWORD filled = 0;
    // The call never says what it wants: a list that fills the room may have been cut.
    bool listed = FetchSized(buffer, [&](BYTE* data, DWORD size, DWORD* needed) {
        if (data != nullptr && !EnumProcesses(reinterpret_cast<DWORD*>(data), size, &filled)) return FALSE;
        if (data == nullptr || filled >= size) {
            *needed = data == nullptr ? kFirstIdentifiers * sizeof(DWORD) : size * 2;
            SetLastError(ERROR_MORE_DATA);
            return FALSE;
        }
        return TRUE;
    });
    std::vector<DWORD> ids;
    if (listed) {
        ids.resize(filled / sizeof(DWORD));
        if (!ids.empty()) memcpy(ids.data(), buffer.data(), ids.size() * sizeof(DWORD));
    }
    return ids;
}

// The path of a module of `process` (null: the image itself), empty when it cannot be read.
void ReadModulePath(HANDLE process, HMODULE module, std::vector<wchar_t>& path) {
    path.assign(kPathCapacity + 1, L'\0');
    GetModuleFileNameExW(process, module, path.data(), kPathCapacity);
}

// The modules of `process` in load order; empty when they cannot be listed.
std::vector<HMODULE> ListModules(HANDLE process) {
    std::vector<BYTE> buffer;
    DWORD used = 0;
    // The call succeeds whatever room it is given: room too small for the list counts as a size error.
    bool listed = FetchSized(buffer, [&](BYTE* data, DWORD size, DWORD* needed) {
        if (!EnumProcessModules(process, reinterpret_cast<HMODULE*>(data), size, needed)) return FALSE;
        if (*needed > size) {
            SetLastError(ERROR_MORE_DATA);
            return FALSE;
        }
        used = *needed;
        return TRUE;
    });
    std::vector<HMODULE> modules;
    if (listed) {
        modules.resize(used / sizeof(HMODULE));
        if (!modules.empty()) memcpy(modules.data(), buffer.data(), modules.size() * sizeof(HMODULE));
    }
    return modules;
}

void WriteProcess(HANDLE process, FILE* report) {
    std::vector<wchar_t> path;
    ReadModulePath(process, nullptr, path);
    Log(L"\r\nFile path: ", report);
    Log(path.data(), report);
    Log(L"\r\nMD5: ", report);
    OwnedText digest(MD5File(path.data()));
    Log(digest ? digest.get() : kNoDigest, report);
    Log(L"\r\nModules:\r\n", report);
    for (HMODULE module : ListModules(process)) {
        ReadModulePath(process, module, path);
        Log(path.data(), report);
        Log(L"\r\n", report);
    }
}

}  // namespace

HANDLE* GetProcessHandles(const wchar_t* name, int* count) {
    *count = 0;
    std::vector<DWORD> ids = EnumerateProcesses();
    std::vector<HANDLE> kept;
    std::vector<wchar_t> path(kPathCapacity + 1);
    for (size_t i = ids.size(); i-- > 0;) {
        KernelHandle process(OpenProcess(kProcessAccess, FALSE, ids[i]));
        if (!process) continue;
        // Cleared for every process, so that one whose path cannot be read never matches by the last one.
        wmemset(path.data(), L'\0', path.size());
        GetModuleFileNameExW(process.get(), nullptr, path.data(), kPathCapacity);
        if (path[0] == L'\0') continue;
        const wchar_t* fileName = wcsrchr(path.data(), L'\\');
        fileName = fileName != nullptr ? fileName + 1 : path.data();
        if (_tcscmpi(fileName, name) == 0) kept.push_back(process.release());
    }
    if (kept.empty()) return nullptr;
    auto* handles = static_cast<HANDLE*>(calloc(kept.size(), sizeof(HANDLE)));
    if (handles == nullptr) abort();
    for (size_t i = 0; i < kept.size(); ++i) handles[i] = kept[i];
    *count = static_cast<int>(kept.size());
    return handles;
}

void ProcLook(wchar_t* line, FILE* report) {
    Log(L"\r\n", report);
    Log(line, report);
    int count = 0;
    HANDLE* handles = GetProcessHandles(Strip(line), &count);
    if (handles == nullptr) {
        Log(kNoProcess, report);
        return;
    }
    wchar_t countLine[40] = {};
    swprintf(countLine, 40, L" - %d handle(s) returned.", count);
    Log(countLine, report);
    for (int i = 0; i < count; ++i) {
        KernelHandle process(handles[i]);
        WriteProcess(process.get(), report);
    }
    free(handles);
}
