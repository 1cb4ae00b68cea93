// PROCESS: every running copy of a program, with its image path, digest and loaded modules.
#include <windows.h>
// psapi.h needs the types of windows.h first.
#include <psapi.h>
#include <tlhelp32.h>

#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "directives/system/system.h"
#include "report/log.h"
#include "report/texts.h"
#include "util/handles.h"
#include "util/md5.h"
#include "util/registry.h"
#include "util/sized_fetch.h"

namespace {

const wchar_t kNoProcess[] = L" - Unable to open process handle.\r\n";
const wchar_t kModulesUnreadable[] = L"(Unable to read modules)";
const wchar_t kNoCommandLine[] = L"(Unable to read command line)";
// Protected processes (System, csrss, lsass as PPL, ...) grant little more than the limited query
// right, even to the debug privilege: it is enough for the match and the image path, and SYNCHRONIZE
// for the exit state. A process that refuses SYNCHRONIZE is opened without it.
const DWORD kMatchAccess = PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE;
const DWORD kLeastAccess = PROCESS_QUERY_LIMITED_INFORMATION;
// Asked for apart, for the module list only.
const DWORD kModuleAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
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

// The image path of `process` into `path` (cleared first, so that a failed read leaves it empty), and
// what kind of image it is.
ProcessImage ReadImagePath(HANDLE process, std::vector<wchar_t>& path) {
    path.assign(kPathCapacity + 1, L'\0');
    DWORD length = kPathCapacity;
    const bool read = QueryFullProcessImageNameW(process, 0, path.data(), &length) != FALSE;
    return ClassifyProcessImage(read, read ? ERROR_SUCCESS : GetLastError(), path.data());
}

// The path of a module of `process`, empty when it cannot be read.
std::wstring ModulePath(HANDLE process, HMODULE module) {
    std::vector<wchar_t> path(kPathCapacity + 1, L'\0');
    GetModuleFileNameExW(process, module, path.data(), kPathCapacity);
    return path.data();
}

// The modules of `process` in load order, into `modules`. Every module of a 32-bit process too: the
// plain enumeration from a 64-bit process lists only its WOW64 DLLs.
bool ListModules(HANDLE process, std::vector<HMODULE>& modules) {
    std::vector<BYTE> buffer;
    DWORD used = 0;
    // The call succeeds whatever room it is given: room too small for the list counts as a size error.
    bool listed = FetchSized(buffer, [&](BYTE* data, DWORD size, DWORD* needed) {
        if (!EnumProcessModulesEx(process, reinterpret_cast<HMODULE*>(data), size, needed, LIST_MODULES_ALL))
            return FALSE;
        if (*needed > size) {
            SetLastError(ERROR_MORE_DATA);
            return FALSE;
        }
        used = *needed;
        return TRUE;
    });
    if (!listed) return false;
    modules.resize(used / sizeof(HMODULE));
    if (!modules.empty()) memcpy(modules.data(), buffer.data(), modules.size() * sizeof(HMODULE));
    return true;
}

bool HasExited(HANDLE process) {
    DWORD code = 0;
    const bool codeRead = GetExitCodeProcess(process, &code) != FALSE;
    return ProcessHasEnded(WaitForSingleObject(process, 0), codeRead, code);
}

HANDLE OpenForMatch(DWORD id) {
    HANDLE process = OpenProcess(kMatchAccess, FALSE, id);
    return process != nullptr ? process : OpenProcess(kLeastAccess, FALSE, id);
}

ProcessRecord ReadProcess(HANDLE process) {
    ProcessRecord record;
    record.facts.opened = process != nullptr;
    std::vector<wchar_t> path;
    const ProcessImage image = record.facts.opened ? ReadImagePath(process, path) : ProcessImage::kUnknown;
    record.facts.pathRead = image == ProcessImage::kFile;
    if (image == ProcessImage::kNone) {
        // Matched by its snapshot name: that is all there is to show of it.
        record.facts.imageFile = false;
        record.path = SnapshotProcessName(GetProcessId(process));
        record.facts.pathRead = !record.path.empty();
        record.commandLineRead = ReadCommandLine(process, nullptr, record.commandLine);
        record.facts.exited = HasExited(process);
        return record;
    }
    if (!record.facts.pathRead) return record;
    // Ended already: nothing more to read.
    record.facts.exited = HasExited(process);
    if (record.facts.exited) return record;
    record.path = path.data();
    record.digest = MD5File(path.data());
    // Opened by identifier while our handle keeps the process object, and with it its identifier, alive.
    KernelHandle full(OpenProcess(kModuleAccess, FALSE, GetProcessId(process)));
    record.facts.modulesOpened = static_cast<bool>(full);
    record.commandLineRead = ReadCommandLine(process, full.get(), record.commandLine);
    std::vector<HMODULE> modules;
    if (full) record.facts.modulesListed = ListModules(full.get(), modules);
    for (HMODULE module : modules) record.modules.push_back(ModulePath(full.get(), module));
    // Asked last: a process still running now was running for every read above.
    record.facts.exited = HasExited(process);
    return record;
}

}  // namespace

bool ProcessHasEnded(DWORD waitResult, bool codeRead, DWORD exitCode) {
    if (waitResult == WAIT_OBJECT_0) return true;
    if (waitResult != WAIT_FAILED) return false;
    return codeRead && exitCode != STILL_ACTIVE;
}

ProcessBlock ChooseProcessBlock(const ProcessFacts& facts) {
    if (!facts.opened || !facts.pathRead || facts.exited) return ProcessBlock::Omitted;
    if (!facts.imageFile) return ProcessBlock::NoImageFile;
    return facts.modulesOpened && facts.modulesListed ? ProcessBlock::WithModules : ProcessBlock::ModulesUnreadable;
}

std::wstring FormatProcessSection(const std::vector<ProcessRecord>& records) {
    std::wstring blocks;
    int written = 0;
    for (const ProcessRecord& record : records) {
        ProcessBlock block = ChooseProcessBlock(record.facts);
        if (block == ProcessBlock::Omitted) continue;
        ++written;
        blocks += L"\r\nFile path: " + record.path + L"\r\nMD5: ";
        blocks += record.digest.empty() ? kNoDigestLine : record.digest.c_str();
        blocks += L"\r\nCommand line: ";
        blocks += record.commandLineRead ? VisibleName(record.commandLine) : kNoCommandLine;
        blocks += L"\r\nModules:\r\n";
        if (block == ProcessBlock::NoImageFile) continue;
        if (block == ProcessBlock::ModulesUnreadable) {
            blocks += kModulesUnreadable;
            blocks += kLineEnd;
        } else {
            for (const std::wstring& module : record.modules) blocks += module + kLineEnd;
        }
    }
    if (written == 0) return kNoProcess;
    wchar_t countLine[40] = {};
    swprintf(countLine, 40, L" - %d handle(s) returned.", written);
    return countLine + blocks;
}

bool IsImageFilePath(const std::wstring& imageName) {
    // A rooted path without a drive ("\Device\...") or a drive without a root ("C:x") would be
    // resolved against the current drive or folder.
    const bool drive = imageName.size() >= 3 && iswalpha(imageName[0]) && imageName[1] == L':' && imageName[2] == L'\\';
    return drive || imageName.rfind(L"\\\\", 0) == 0;
}

ProcessImage ClassifyProcessImage(bool read, DWORD error, const std::wstring& imageName) {
    if (read) return IsImageFilePath(imageName) ? ProcessImage::kFile : ProcessImage::kNone;
    // Windows answers ERROR_GEN_FAILURE ("A device attached to the system is not functioning.") for
    // the processes that have no image file; a refusal or an ended process gives other errors.
    return error == ERROR_GEN_FAILURE ? ProcessImage::kNone : ProcessImage::kUnknown;
}

std::wstring ProcessMatchName(ProcessImage image, const std::wstring& imageName, const std::wstring& snapshotName) {
    if (image == ProcessImage::kNone) return snapshotName;
    return image == ProcessImage::kFile ? imageName.substr(imageName.rfind(L'\\') + 1) : std::wstring();
}

std::wstring SnapshotProcessName(DWORD id) {
    FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    if (!snapshot || !Process32FirstW(snapshot.get(), &entry)) return std::wstring();
    // Every entry ends or the walk does: the snapshot is a fixed list.
    do {
        if (entry.th32ProcessID == id) return std::wstring(entry.szExeFile, wcsnlen(entry.szExeFile, MAX_PATH));
    } while (Process32NextW(snapshot.get(), &entry));
    return std::wstring();
}

std::vector<KernelHandle> GetProcessHandles(const wchar_t* name) {
    std::vector<DWORD> ids = EnumerateProcesses();
    std::vector<KernelHandle> kept;
    std::vector<wchar_t> path;
    for (size_t i = ids.size(); i-- > 0;) {
        KernelHandle process(OpenForMatch(ids[i]));
        if (!process) continue;
        const ProcessImage image = ReadImagePath(process.get(), path);
        // Only a process without an image file is looked for in the snapshot.
        const std::wstring snapshotName = image == ProcessImage::kNone ? SnapshotProcessName(ids[i]) : std::wstring();
        const std::wstring matchName = ProcessMatchName(image, path.data(), snapshotName);
        if (!matchName.empty() && _tcscmpi(matchName.c_str(), name) == 0) kept.push_back(std::move(process));
    }
    return kept;
}

void WriteProcesses(std::vector<KernelHandle> processes, FILE* report) {
    std::vector<ProcessRecord> records;
    // Every block is read before the count line is written, so that the count is the blocks written.
    for (KernelHandle& process : processes) {
        records.push_back(ReadProcess(process.get()));
        process.reset();
    }
    Log(FormatProcessSection(records).c_str(), report);
}

void ProcLook(wchar_t* line, FILE* report, WorkPool&) {
    Log(kLineEnd, report);
    Log(line, report);
    WriteProcesses(GetProcessHandles(Strip(line)), report);
}
