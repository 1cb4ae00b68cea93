// The SERVICE and PROCESS handlers and the lookups that serve them.
#pragma once

#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "directives/directives.h"
#include "util/handles.h"
#include "util/strings.h"

// --- svc_look.cpp ---

struct ServiceInstance;
// The services named as instances of the per-user template `name`, in enumeration order, appended to
// `instances`; false, with `instances` untouched, when the services cannot be listed whole.
bool ListUserServiceInstances(const wchar_t* name, std::vector<ServiceInstance>& instances);

// --- service_registry.cpp ---

// The "Group" value of the service's registry key; nothing when the key cannot be opened or has no
// readable value of that name.
std::optional<std::wstring> GetGroup(const wchar_t* serviceName);

// The text of the ServiceDll line of a service that svchost runs: the value ServiceDll of the service
// key's Parameters sub-key, else of the service key itself, with its environment references expanded
// and shown whole (each NUL as \0); a failure text when the value there cannot be read or the service
// key is gone; nothing when neither key has the value.
std::optional<std::wstring> GetServiceDll(const wchar_t* serviceName);

// The upper-cased service names of the SafeBoot set `setName` ("Minimal" or "Network"), a driver's
// ".sys" cut off.
std::vector<std::wstring> GetSafeBootServices(const wchar_t* setName);
// The group names of the same set, as the registry spells them.
std::vector<std::wstring> GetSafeBootGroups(const wchar_t* setName);

// --- command_line.cpp ---

// Where a process keeps its command line: the PEB (a WOW64 process's own 32-bit one when `wow64Peb`)
// holds the address of its process parameters, which hold the command line as a UNICODE_STRING.
struct CommandLineLayout {
    bool readable = false;  // false: the reader cannot reach it (a 32-bit reader, a 64-bit process)
    bool wow64Peb = false;
    unsigned pointerSize = 0;
    unsigned parametersOffset = 0;   // of ProcessParameters in the PEB
    unsigned commandLineOffset = 0;  // of CommandLine in RTL_USER_PROCESS_PARAMETERS
    bool operator==(const CommandLineLayout&) const = default;
};
// The layout for a reader of this build (`reader64`) or a 32-bit one under WOW64 (`readerWow64`), and
// a process that runs under WOW64 or not.
CommandLineLayout ChooseCommandLineLayout(bool reader64, bool readerWow64, bool targetWow64);
// The command line of a process, whole: asked of the system through `query` (the limited query right),
// else read through `memory` (query and memory-read rights; null when not opened so). False, with
// `commandLine` untouched, when neither works.
bool ReadCommandLine(HANDLE query, HANDLE memory, std::wstring& commandLine);

// --- proc_look.cpp ---

// Opens every process whose image file name equals `name` (ignoring case), the last enumerated first,
// with the limited query right that protected processes still grant; empty when none matches.
std::vector<KernelHandle> GetProcessHandles(const wchar_t* name);

// Reads the block of each process, closing each once read, and writes what follows the echoed line:
// the count line and the blocks, or the no-process line.
void WriteProcesses(std::vector<KernelHandle> processes, FILE* report);

// What could be learned of one matched process, as read just before its block is written.
struct ProcessFacts {
    bool opened = false;         // the limited query open succeeded
    bool pathRead = false;       // its image path (without an image file: its snapshot name) could be read
    bool exited = false;         // it had ended once everything else was read
    bool modulesOpened = false;  // the open for reading its memory succeeded
    bool modulesListed = false;  // its module list could be read
    bool imageFile = true;       // its image name is a file's path (see IsImageFilePath)
};

// How a process's block comes out. A process that could not be opened, whose path cannot be read or
// that has ended is left out, and the count counts exactly the blocks written.
enum class ProcessBlock {
    Omitted,            // neither written nor counted
    WithModules,        // path, digest and one line per module
    ModulesUnreadable,  // path, digest and the line saying the modules cannot be read
    NoImageFile,        // the snapshot's name, no digest and no modules: there is no file to read
};
ProcessBlock ChooseProcessBlock(const ProcessFacts& facts);

// Whether a process has ended, from a wait of no time on its handle (WAIT_OBJECT_0: ended) and, where
// the handle could not be waited on (WAIT_FAILED: opened without SYNCHRONIZE), from its exit code when
// it could be read. A process that exited with 259 (STILL_ACTIVE) has that exit code too, so the code
// decides only when nothing else can.
bool ProcessHasEnded(DWORD waitResult, bool codeRead, DWORD exitCode);

// Whether a process's image name is the path of a file: absolute, on a drive ("C:\...") or a share
// ("\\server\...", "\\?\...").
bool IsImageFilePath(const std::wstring& imageName);
// What a process's image is, from QueryFullProcessImageNameW's answer: whether it succeeded, the error
// when it did not, and the name it gave.
enum class ProcessImage {
    kFile,     // an image file, by its path
    kNone,     // no image file: System, Registry, Memory Compression, Secure System
    kUnknown,  // the name could not be read (refused, ended): such a process never matches
};
ProcessImage ClassifyProcessImage(bool read, DWORD error, const std::wstring& imageName);
// The name a PROCESS line is matched with: the file name of an image file; for a process without one
// the name the process snapshot (CreateToolhelp32Snapshot) gives, "System" or "Registry", since its
// image name must never be opened, digested or looked for in the current folder; empty otherwise.
std::wstring ProcessMatchName(ProcessImage image, const std::wstring& imageName, const std::wstring& snapshotName);
// The name the process snapshot gives process `id`; empty when it lists none.
std::wstring SnapshotProcessName(DWORD id);

// One matched process as read: its facts, its image path, its digest (empty: none) and module paths.
struct ProcessRecord {
    ProcessFacts facts;
    std::wstring path;
    std::wstring digest;
    std::vector<std::wstring> modules;
    bool commandLineRead = false;
    std::wstring commandLine;  // whole, as the process holds it
};

// What follows the echoed line for these records, in their order: " - N handle(s) returned." with N
// the blocks written and then each block, or the no-process line when no block is written.
std::wstring FormatProcessSection(const std::vector<ProcessRecord>& records);
