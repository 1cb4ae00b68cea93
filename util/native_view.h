// The x86 build on 64-bit Windows runs under WOW64, which shows it SysWOW64 in place of System32 and
// the 32-bit registry view. Such a build asks for the native views, so that both builds report the
// same machine.
#pragma once

#include <windows.h>

struct NativeViews {
    bool fileSystem = false;  // file-system redirection off on the scan thread
    REGSAM registryView = 0;  // added to the access of every registry open
};

// Only a 32-bit build running under WOW64 needs anything: elsewhere the default views are the native
// ones, and a 64-bit process is never under WOW64.
NativeViews ChooseNativeViews(bool build32, bool underWow64);

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
