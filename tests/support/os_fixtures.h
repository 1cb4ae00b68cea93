// What a test under Wine can do from the Linux side that Wine itself cannot (links, names ending in
// a blank, trees made fast), and running work on a thread with a small stack.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "util/handles.h"

// The Linux path of a Windows path under Wine (its last part need not exist); empty elsewhere.
std::string UnixPath(const std::wstring& path);
// Runs a Linux program (such as "/bin/ln") with `arguments` (a line of the shell) and tells whether it
// exited with 0. Wine 8 starts Linux programs named through Z:.
bool RunLinuxProgram(const std::string& program, const std::string& arguments);
// Makes `link` a Linux symbolic link to `target` (a Linux path such as ".."): Wine 8 cannot make
// links itself (CreateSymbolicLinkW is a stub, FSCTL_SET_REPARSE_POINT is refused), and shows such a
// link as a reparse point (0x410 for a folder).
bool MakeLinuxLink(const std::wstring& link, const std::string& target);

// Entries made from the Linux side below `folder`, with names Win32 would rewrite (a trailing dot or
// blank, device names such as com1.log): each (relative Linux path, bytes) pair makes a file, a path
// ending in "/" a folder, in the order given. Names and bytes hold no single quote. They are removed
// from the Linux side again when the object goes (Win32 could not remove them by name).
class LinuxEntries {
public:
    LinuxEntries(const std::wstring& folder, const std::vector<std::pair<std::string, std::string>>& entries);
    ~LinuxEntries();
    LinuxEntries(const LinuxEntries&) = delete;
    LinuxEntries& operator=(const LinuxEntries&) = delete;
    bool made() const { return made_; }

private:
    std::string folder_;
    std::vector<std::string> tops_;
    bool made_ = false;
};

// The \\?\ form of an absolute drive path: how a test reaches the entries above without Win32
// rewriting their names.
std::wstring Extended(const std::wstring& path);

// Runs `work` on a new thread of which no more than `stackBytes` of stack are left below `work`'s
// caller, and returns the bytes it actually had. The thread asks for that reservation; where the
// platform gives more (Wine gives every thread at least 1 MiB), the surplus is used up first.
size_t RunOnSmallStack(size_t stackBytes, const std::function<void()>& work);

// Makes a Linux FIFO at `path`: Wine opens it at once as a pipe, and a read from it waits for a writer
// that never comes.
bool MakeLinuxFifo(const std::wstring& path);

// A named pipe of the test's own (\\.\pipe\<unique name>) whose server never writes: a client that read
// from it would wait for ever.
class SilentPipe {
public:
    SilentPipe();
    SilentPipe(const SilentPipe&) = delete;
    SilentPipe& operator=(const SilentPipe&) = delete;

    const std::wstring& path() const { return path_; }
    // Whether a client has opened the pipe since it was made.
    bool WasOpened() const;

private:
    std::wstring path_;
    FileHandle server_;
};

// Things that are not files, named as a script would name them: devices, the volume and the disk, a
// pipe nobody serves. (No COM port: Wine maps COM1 to the console.)
inline const wchar_t* const kTypedNotFiles[] = {L"NUL",
                                                L"CON",
                                                L"CONIN$",
                                                L"\\\\.\\C:",
                                                L"\\\\.\\PhysicalDrive0",
                                                L"\\\\.\\pipe\\quillfen-none",
                                                L"\\\\?\\GLOBALROOT\\Device\\Null"};

// The things above, and those a test makes in `folder`: a Linux FIFO and a pipe of the test's own that
// never writes (a read of either would wait for ever), and names of devices with an extension.
class NotFiles {
public:
    explicit NotFiles(const std::wstring& folder);
    NotFiles(const NotFiles&) = delete;
    NotFiles& operator=(const NotFiles&) = delete;

    const std::vector<std::wstring>& paths() const { return paths_; }
    bool made() const { return made_; }  // the FIFO is there
    bool PipeOpened() const { return pipe_.WasOpened(); }

private:
    bool made_;  // first: the FIFO is made before the pipe is there to be opened
    SilentPipe pipe_;
    std::vector<std::wstring> paths_;
};

// `folder` made immutable from the Linux side (chattr +i, which needs root) for the object's life: it
// refuses new files and Wine answers ERROR_ACCESS_DENIED, as Windows answers a program that Controlled
// Folder Access does not know. made() says whether it worked.
class ImmutableFolder {
public:
    explicit ImmutableFolder(const std::wstring& folder);
    ~ImmutableFolder();
    ImmutableFolder(const ImmutableFolder&) = delete;
    ImmutableFolder& operator=(const ImmutableFolder&) = delete;
    bool made() const { return made_; }

private:
    std::string unixFolder_;
    bool made_ = false;
};

// Files moved aside (to <name>.quillfen-aside) for the object's life, and put back however the test
// ends; one that a killed test left aside is put back first. moved() says whether all of them went.
class FilesMovedAside {
public:
    explicit FilesMovedAside(std::vector<std::wstring> paths);
    ~FilesMovedAside();
    FilesMovedAside(const FilesMovedAside&) = delete;
    FilesMovedAside& operator=(const FilesMovedAside&) = delete;
    bool moved() const { return moved_; }

private:
    std::vector<std::wstring> paths_;
    std::vector<std::wstring> movedPaths_;
    bool moved_ = false;
};

// A console of the test's own whose output code page is `codePage`, for the object's life: programs
// the test starts without other instructions share it. made() says whether it worked.
class ScopedConsole {
public:
    explicit ScopedConsole(unsigned codePage);
    ~ScopedConsole();
    ScopedConsole(const ScopedConsole&) = delete;
    ScopedConsole& operator=(const ScopedConsole&) = delete;
    bool made() const { return made_; }
    // The first `length` characters of the console's screen, from its top left corner.
    std::wstring ScreenText(size_t length) const;

private:
    bool made_ = false;
};
