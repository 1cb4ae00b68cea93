// The x86 build on 64-bit Windows runs under WOW64, which shows it SysWOW64 in place of System32, the
// 32-bit registry view and the "(x86)" program folders in its environment. Such a build asks for the
// native views, so that both builds report the same machine.
#pragma once

#include <windows.h>

#include <functional>

struct NativeViews {
    bool fileSystem = false;  // file-system redirection off on the scan thread
    REGSAM registryView = 0;  // added to the access of every registry open
    // %ProgramFiles%, %CommonProgramFiles% and %PROCESSOR_ARCHITECTURE% expand to the native values, not WOW64's
    bool nativeProgramFolders = false;
};

// Only a 32-bit build running under WOW64 needs anything: elsewhere the default views are the native
// ones, and a 64-bit process is never under WOW64.
NativeViews ChooseNativeViews(bool build32, bool underWow64);

// What the platform says of this process. IsWow64Process2 (Windows 10 1709 on) names the emulated
// machine, IMAGE_FILE_MACHINE_UNKNOWN outside WOW64, on every host; IsWow64Process answers FALSE for
// an x86 process on ARM64 in some releases, so it only decides where the newer call is missing.
struct Wow64Answers {
    bool machineKnown = false;  // IsWow64Process2 is there and succeeded
    USHORT processMachine = IMAGE_FILE_MACHINE_UNKNOWN;
    bool wow64Flag = false;  // IsWow64Process succeeded and said TRUE
};
bool UnderWow64(const Wow64Answers& answers);

// True when this process runs under WOW64, on any host (x64 or ARM64).
bool RunningUnderWow64();

// The views of this process, decided on first use.
const NativeViews& ProcessNativeViews();

// Turns file-system redirection off for the calling thread while it lives, where `views` asks for it,
// and turns it back on when it goes. Redirection off also stops DLLs loading on that thread, so the
// guard covers only the reads, never a call that may load a DLL (Notepad, the shell).
class NativeFileSystemView {
public:
    explicit NativeFileSystemView(const NativeViews& views = ProcessNativeViews());
    ~NativeFileSystemView();
    NativeFileSystemView(const NativeFileSystemView&) = delete;
    NativeFileSystemView& operator=(const NativeFileSystemView&) = delete;

    bool active() const { return active_; }

private:
    void* old_ = nullptr;
    bool active_ = false;
};

// Runs `body` on the calling thread inside the views of this process: what every thread that opens
// files or keys for a scan runs in.
void InNativeViews(const std::function<void()>& body);
// Whether the calling thread is inside a NativeFileSystemView now (on every build, whether or not the
// views change anything there).
bool ThreadInNativeViews();

// Every open of a file, folder or key for a scan calls this, which tells the watcher a test set, if any.
void NoteOpen();
