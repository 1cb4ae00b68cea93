#include "tests/support/os_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/test_support.h"

std::string UnixPath(const std::wstring& path) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (unixName == nullptr) return {};  // not under Wine
    char* name = unixName(path.c_str());
    if (name == nullptr) return {};
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

bool RunLinuxProgram(const std::string& program, const std::string& arguments) {
    // Wine hands a Linux program over without waiting for it to end, so a shell script runs it and
    // leaves its exit status in a file, which this waits for.
    ScratchFolder folder;
    const std::string status = UnixPath(folder / L"status");
    WriteFileBytes(folder / L"run.sh", program + " " + arguments + "\necho $? >\"" + status + ".part\" && mv \"" +
                                           status + ".part\" \"" + status + "\"\n");
    const std::string script = UnixPath(folder / L"run.sh");
    const std::wstring command = L"Z:\\bin\\sh " + std::wstring(script.begin(), script.end());
    if (RunProcess(command).exitCode != 0) return false;
    for (int wait = 0; wait < 1200; ++wait) {  // two minutes
        if (GetFileAttributesW((folder / L"status").c_str()) != INVALID_FILE_ATTRIBUTES) {
            return ReadFileBytes(folder / L"status") == "0\n";
        }
        Sleep(100);
    }
    ADD_FAILURE() << program << " did not finish";
    return false;
}

bool MakeLinuxLink(const std::wstring& link, const std::string& target) {
    std::string unixLink = UnixPath(link);
    return !unixLink.empty() && RunLinuxProgram("/bin/ln", "-s " + target + " \"" + unixLink + "\"");
}

LinuxEntries::LinuxEntries(const std::wstring& folder, const std::vector<std::pair<std::string, std::string>>& entries)
    : folder_(UnixPath(folder)) {
    if (folder_.empty()) return;
    std::string line = "cd '" + folder_ + "'";
    for (const auto& [name, bytes] : entries) {
        const std::string top = name.substr(0, name.find('/'));
        if (std::find(tops_.begin(), tops_.end(), top) == tops_.end()) tops_.push_back(top);
        line += name.ends_with('/') ? " && mkdir '" + name + "'" : " && printf '%s' '" + bytes + "' >'" + name + "'";
    }
    made_ = RunLinuxProgram("/bin/sh", "-c \"" + line + "\"");
}

LinuxEntries::~LinuxEntries() {
    if (folder_.empty() || tops_.empty()) return;
    std::string line = "cd '" + folder_ + "' && rm -rf";
    for (const std::string& top : tops_) line += " '" + top + "'";
    RunLinuxProgram("/bin/sh", "-c \"" + line + "\"");
}

std::wstring Extended(const std::wstring& path) { return L"\\\\?\\" + path; }

namespace {

struct SmallStackJob {
    size_t stackBytes;
    const std::function<void()>* work;
    size_t had;
};

// The lowest address of the calling thread's stack reservation.
char* StackFloor() {
    MEMORY_BASIC_INFORMATION info = {};
    VirtualQuery(&info, &info, sizeof info);
    return static_cast<char*>(info.AllocationBase);
}

// Called below the used-up surplus: its own frame is where `work` starts.
__attribute__((noinline)) void RunWork(SmallStackJob& job) {
    char here;
    job.had = static_cast<size_t>(&here - StackFloor());
    (*job.work)();
}

__attribute__((noinline)) void RunBelow(SmallStackJob& job, size_t surplus) {
    // Touched a page at a time from the top down, so that the stack's guard page moves down as the
    // platform expects, however alloca probes.
    volatile char* used = static_cast<volatile char*>(__builtin_alloca(surplus + 1));
    for (size_t offset = surplus + 1; offset > 0; offset = offset > 4096 ? offset - 4096 : 0) used[offset - 1] = 0;
    used[0] = 0;
    RunWork(job);
}

DWORD WINAPI SmallStackThread(void* parameter) {
    auto& job = *static_cast<SmallStackJob*>(parameter);
    char here;
    const size_t left = static_cast<size_t>(&here - StackFloor());
    RunBelow(job, left > job.stackBytes ? left - job.stackBytes : 0);
    return 0;
}

}  // namespace

size_t RunOnSmallStack(size_t stackBytes, const std::function<void()>& work) {
    SmallStackJob job{stackBytes, &work, 0};
    HANDLE thread =
        CreateThread(nullptr, stackBytes, SmallStackThread, &job, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) {
        ADD_FAILURE() << "CreateThread failed: " << GetLastError();
        return 0;
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return job.had;
}

bool MakeLinuxFifo(const std::wstring& path) {
    std::string unixPath = UnixPath(path);
    return !unixPath.empty() && RunLinuxProgram("/usr/bin/mkfifo", "\"" + unixPath + "\"");
}

SilentPipe::SilentPipe() : path_(L"\\\\.\\pipe\\quillfen-silent-" + std::to_wstring(GetCurrentProcessId())) {
    static unsigned made = 0;
    path_ += L"-" + std::to_wstring(++made);
    // Non-blocking, so that WasOpened can ask without waiting for a client.
    server_.reset(
        CreateNamedPipeW(path_.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_NOWAIT, 1, 0, 0, 0, nullptr));
    if (!server_) ADD_FAILURE() << "CreateNamedPipeW failed: " << GetLastError();
}

bool SilentPipe::WasOpened() const {
    // A pipe that no client has opened is still listening; one that was opened is connected, or closed
    // by its client.
    if (ConnectNamedPipe(server_.get(), nullptr)) return true;
    return GetLastError() != ERROR_PIPE_LISTENING;
}

NotFiles::NotFiles(const std::wstring& folder)
    : made_(MakeLinuxFifo(folder + L"\\fifo")),
      paths_{folder + L"\\fifo", pipe_.path(), folder + L"\\nul.txt", folder + L"\\con.txt"} {
    paths_.insert(paths_.end(), std::begin(kTypedNotFiles), std::end(kTypedNotFiles));
}

ImmutableFolder::ImmutableFolder(const std::wstring& folder) : unixFolder_(UnixPath(folder)) {
    made_ = !unixFolder_.empty() && RunLinuxProgram("/usr/bin/chattr", "+i \"" + unixFolder_ + "\"");
}

ImmutableFolder::~ImmutableFolder() {
    if (made_ && !RunLinuxProgram("/usr/bin/chattr", "-i \"" + unixFolder_ + "\"")) {
        ADD_FAILURE() << unixFolder_ << " is still immutable";
    }
}

namespace {

std::wstring AsidePath(const std::wstring& path) { return path + L".quillfen-aside"; }

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

FilesMovedAside::FilesMovedAside(std::vector<std::wstring> paths) : paths_(std::move(paths)) {
    moved_ = true;
    for (const std::wstring& path : paths_) {
        if (!Exists(path) && Exists(AsidePath(path))) MoveFileExW(AsidePath(path).c_str(), path.c_str(), 0);
        if (MoveFileExW(path.c_str(), AsidePath(path).c_str(), 0)) {
            movedPaths_.push_back(path);
        } else {
            ADD_FAILURE() << "cannot move " << Narrow(path) << " aside: error " << GetLastError();
            moved_ = false;
        }
    }
}

FilesMovedAside::~FilesMovedAside() {
    for (const std::wstring& path : movedPaths_) {
        if (!MoveFileExW(AsidePath(path).c_str(), path.c_str(), 0)) {
            ADD_FAILURE() << "cannot put " << Narrow(path) << " back: error " << GetLastError();
        }
    }
}

ScopedConsole::ScopedConsole(unsigned codePage) {
    // Under Wine a test program holds a console without a screen, which it must leave before it can
    // make one of its own.
    FreeConsole();
    made_ = AllocConsole() && SetConsoleOutputCP(codePage);
    if (!made_) ADD_FAILURE() << "cannot make a console with code page " << codePage << ": error " << GetLastError();
}

ScopedConsole::~ScopedConsole() { FreeConsole(); }

std::wstring ScopedConsole::ScreenText(size_t length) const {
    FileHandle screen(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    std::wstring text(length, L'\0');
    DWORD read = 0;
    if (!screen || !ReadConsoleOutputCharacterW(screen.get(), text.data(), static_cast<DWORD>(length), {0, 0}, &read)) {
        return {};
    }
    text.resize(read);
    return text;
}
