#include "util/native_view.h"

#include <atomic>

#include "util/test_hooks.h"

namespace {

using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);

thread_local unsigned viewsEntered = 0;
std::atomic<OpenWatcher> openWatcher{nullptr};

}  // namespace

NativeViews ChooseNativeViews(bool build32, bool underWow64) {
    NativeViews views;
    if (build32 && underWow64) {
        views.fileSystem = true;
        views.registryView = KEY_WOW64_64KEY;
        views.nativeProgramFolders = true;
    }
    return views;
}

bool UnderWow64(const Wow64Answers& answers) {
    return answers.machineKnown ? answers.processMachine != IMAGE_FILE_MACHINE_UNKNOWN : answers.wow64Flag;
}

bool RunningUnderWow64() {
    Wow64Answers answers;
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto isWow64Process2 = reinterpret_cast<IsWow64Process2Fn>(
        reinterpret_cast<void*>(kernel != nullptr ? GetProcAddress(kernel, "IsWow64Process2") : nullptr));
    USHORT nativeMachine = IMAGE_FILE_MACHINE_UNKNOWN;
    answers.machineKnown =
        isWow64Process2 != nullptr && isWow64Process2(GetCurrentProcess(), &answers.processMachine, &nativeMachine);
    BOOL wow64 = FALSE;
    answers.wow64Flag = !answers.machineKnown && IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
    return UnderWow64(answers);
}

const NativeViews& ProcessNativeViews() {
    static const NativeViews views = ChooseNativeViews(sizeof(void*) == 4, RunningUnderWow64());
    return views;
}

NativeFileSystemView::NativeFileSystemView(const NativeViews& views) {
    // Windows keeps redirection per thread: each thread of a scan turns it off for itself.
    if (views.fileSystem) active_ = Wow64DisableWow64FsRedirection(&old_) != FALSE;
    ++viewsEntered;
}

NativeFileSystemView::~NativeFileSystemView() {
    --viewsEntered;
    if (active_) Wow64RevertWow64FsRedirection(old_);
}

void InNativeViews(const std::function<void()>& body) {
    NativeFileSystemView view;
    body();
}

bool ThreadInNativeViews() { return viewsEntered != 0; }

void WatchOpens(OpenWatcher watcher) { openWatcher.store(watcher); }

void NoteOpen() {
    if (OpenWatcher watcher = openWatcher.load(std::memory_order_relaxed)) watcher();
}
