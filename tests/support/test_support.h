// Fixtures and helpers shared by the tests: scratch folders, file bytes, captured reports, and
// running the program's own executables.
#pragma once

#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/scan/script_file.h"
#include "tests/support/md5_reference.h"
#include "tests/support/os_fixtures.h"
#include "tests/support/pools.h"
#include "util/disk_file.h"
#include "util/handles.h"

// A new empty folder under %TEMP%, removed with everything in it when the object goes. Links inside
// it are removed as links; what they point at is never touched.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::wstring& path() const { return path_; }
    // path() + "\\" + name
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// Removes a folder tree without following links.
void RemoveTree(const std::wstring& path);

void WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
// The file's bytes taken as UTF-16LE code units (an odd last byte fails the calling test).
std::wstring ReadUtf16File(const std::wstring& path);
// The file's bytes as the C library's text-mode reading gives them, NULs left out: what CONTENTS shows.
std::wstring AsTextModeReadsIt(const std::wstring& path);
// A file that a running program is writing, as far as it is written: its whole UTF-16LE code units,
// or nothing while it does not exist. Read without failing the test and without getting in the
// writer's way.
std::wstring TextSoFar(const std::wstring& path);

// Runs `write` on a fresh report stream and returns what it wrote, as text.
std::wstring CaptureReport(const std::function<void(FILE* report)>& write);

// The folder that holds the test executables and the program's own (build/x64).
std::wstring ExecutableFolder();

struct ProcessResult {
    DWORD exitCode = 0;
    bool timedOut = false;     // ended by RunProcess after kHangBoundMs
    bool interrupted = false;  // ended by RunProcessUntil once what it waited for was there
    std::string out;           // standard output bytes
    std::string err;           // standard error bytes
};
// Whether a process still running after kHangBoundMs fails the calling test (naming the command line)
// or is what the test wants to happen (it is interrupted, and the test looks at what it left).
enum class Overrun { Fails, Expected };
// Runs a command line with `input` on standard input and collects both outputs. A process still
// running after kHangBoundMs is ended and reported as timed out.
ProcessResult RunProcess(const std::wstring& commandLine, const std::string& input = {},
                         Overrun overrun = Overrun::Fails);
// Runs a command line as RunProcess does and ends it from outside (as a kill or a closed window ends
// a run) as soon as `ready` holds, asked every 10 ms. A process that ends by itself first, or is
// still running without `ready` after kHangBoundMs, fails the calling test naming `awaited`.
ProcessResult RunProcessUntil(const std::wstring& commandLine, const std::function<bool()>& ready,
                              const std::string& awaited);
// The same with `standardInput` as the child's standard input (inherited): a handle to anything, or
// null for a process started without one.
ProcessResult RunProcessWithInputHandle(const std::wstring& commandLine, HANDLE standardInput);

// The console front end's command line with `arguments`.
std::wstring Cli(const std::wstring& arguments);
// Runs the console front end with `options` on `script`, saved in `folder` as UTF-16 with its mark
// (so that any name reaches it whole), the report going to `report`.
ProcessResult RunCliScript(const ScratchFolder& folder, const std::wstring& script, const std::wstring& report,
                           const std::wstring& options = L"--quiet", Overrun overrun = Overrun::Fails);

// The text's UTF-16 code units as bytes, in either byte order; and little-endian after its mark.
std::string Utf16Bytes(const std::wstring& text, bool bigEndian = false);
std::string Utf16WithMark(const std::wstring& text);

// A script as an editor saves it: `bytes` in one encoding, and the `text` they decode to (":ENV",
// then one line, here and there with a stray NUL before, after or for the line end; or lines of no context).
struct EncodedScript {
    const char* name;
    std::string bytes;
    ScriptEncoding encoding;
    std::wstring text;
};
// A row for each encoding a user's editor may save a script in.
const std::vector<EncodedScript>& EncodedScripts();

// Sets an environment variable for the test's life and restores the old value afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment(const wchar_t* name, const wchar_t* value);  // null value: unset
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::wstring name_;
    std::wstring old_;
    bool hadValue_ = false;
};

// A report taken apart at the end of its two header lines (the product, then the creation time).
struct ReportParts {
    bool hasHeader = false;  // both lines, each ended by CRLF, are there
    std::wstring header;     // the two lines with their CRLFs; empty without them
    std::wstring body;       // everything after them; the whole text without them
};
ReportParts SplitReportHeader(const std::wstring& report);
// A whole report's body: everything after its two header lines ("<no header>" without them).
std::wstring ReportBody(const std::wstring& report);

// The texts that frame a report: the start of its header (the product line, then the creation line up
// to its time), a context's banner, and the end marker of a whole run.
inline const std::wstring kHeaderStart = L"Quillfen v1.0 by tarnwick (11.01.10)\r\nLog created at ";
inline std::wstring Banner(const std::wstring& context) { return L"\r\n========== " + context + L" ==========\r\n"; }
inline const std::wstring kEndOfFile = L"\r\n-=End Of File=-";
// What a whole run's body of one section holds between `context`'s banner and the end marker; when it
// is no such body, a text that says so and shows it.
std::wstring SectionOf(const std::wstring& context, const std::wstring& body);

// Holds `path` open for writing, as a program that keeps a log does (others may read and write it).
FileHandle HoldOpenForWriting(const std::wstring& path);

// Hands out `bytes` in pieces of at most `piece` bytes, like a file read in turns. Once `failAt` bytes
// are out, every read fails; at the end it starts `bytes` over when `endless` (a file that keeps
// growing), or else answers the end.
ChunkReader PieceReader(const std::string& bytes, size_t piece, size_t failAt = std::string::npos,
                        bool endless = false);

// Narrow text of a wide one (for readable assertion messages).
std::string Narrow(const std::wstring& text);
// Wide text of UTF-8.
std::wstring Wide(const std::string& text);

// The system's text for an error code (SystemErrorText) as UTF-8, as the console front end shows it.
std::string SystemMessageText(DWORD error);

// The same file named through Wine's Z: drive, the Linux root (Z:\\home\\...); empty elsewhere.
std::wstring ZDrivePath(const std::wstring& path);

// A file system of `kib` KiB (a Linux tmpfs) mounted over the existing empty folder `folder` for the
// object's life, to stand in for a full disk. The test process must run as root; mounted() says
// whether it worked.
class TinyVolume {
public:
    TinyVolume(const std::wstring& folder, int kib);
    ~TinyVolume();
    TinyVolume(const TinyVolume&) = delete;
    TinyVolume& operator=(const TinyVolume&) = delete;
    bool mounted() const { return mounted_; }

private:
    std::string unixFolder_;
    bool mounted_ = false;
};

// One registry value changed for the object's life: what it held (or its absence) comes back when the
// object goes. The key is created if it is missing (and then left, empty).
class ScopedValue {
public:
    ScopedValue(HKEY root, const std::wstring& keyPath, const std::wstring& name);
    ~ScopedValue();
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

    // Each fails the calling test when the registry refuses, and says whether it was done.
    bool Set(DWORD type, const void* data, DWORD size);
    bool SetString(DWORD type, const std::wstring& text);  // REG_SZ or REG_EXPAND_SZ
    bool SetDword(DWORD number);
    bool Remove();  // a value that was not there is removed already
    // The string the value held before (empty when it was missing or not a string).
    const std::wstring& oldText() const { return oldText_; }

private:
    HKEY root_;
    std::wstring keyPath_;
    std::wstring name_;
    bool hadValue_ = false;
    DWORD oldType_ = REG_NONE;
    std::vector<BYTE> oldData_;
    std::wstring oldText_;
    bool changed_ = false;
};

// HKCU's keys that name the user's folders: the shell's own and the copy kept for old programs.
inline const std::wstring kUserShellFolders =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
inline const std::wstring kShellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// A scratch folder that is the desktop for the object's life, for this process and every program it
// starts: both values that name the desktop point at it. A test's desktop report, and whatever the test
// mounts over the desktop, never touch the prefix's own desktop (the Linux home folder under Wine).
class ScratchDesktop {
public:
    ScratchDesktop();
    ScratchDesktop(const ScratchDesktop&) = delete;
    ScratchDesktop& operator=(const ScratchDesktop&) = delete;

    const std::wstring& path() const { return folder_.path(); }
    // The report a run writes when it is given no path.
    std::wstring report() const { return folder_ / L"Quillfen.txt"; }

private:
    // Declared in this order so that the values are put back before the folder goes.
    ScratchFolder folder_;
    ScopedValue shell_;
    ScopedValue copy_;
};

// The temporary folder made a scratch one of the test's own (GetTempPathW reads TMP first) for this
// process and what it starts, for the object's life: where a refused desktop report goes.
class ScratchTemp {
public:
    ScratchTemp();
    std::wstring report() const { return folder_ / L"Quillfen.txt"; }

private:
    ScratchFolder folder_;
    ScopedEnvironment variable_;
};

// Makes `folder`\Quillfen.txt a link into a folder that does not exist, so that creating the report
// there fails with "file not found" in a folder that exists, as Controlled Folder Access answers.
bool MakeReportUncreatable(const std::wstring& folder);

// What a ScopedKey does with a key that is there before it.
enum class KeyBefore {
    kReplace,  // removed with its tree first: a name of the tests' own, left by an interrupted run
    kRefuse,   // left alone and the test fails: what the test expects holds only for a key of its own
    kShare,    // kept with what it holds: only the keys the object adds go again
};

// A registry key the test owns for the object's life. Every key it creates (the key itself, keys
// missing above it, sub-keys) is removed when the object goes, deepest first, each with its tree;
// a key above it goes only when nothing else is left in it.
class ScopedKey {
public:
    ScopedKey(HKEY root, const std::wstring& path, KeyBefore before = KeyBefore::kRefuse);
    ~ScopedKey();
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;

    HKEY root() const { return root_; }
    HKEY key() const { return key_; }
    // Path below the root, such as Software\QuillfenTests\name.
    const std::wstring& path() const { return path_; }

    // Each creates `subKey` (empty: the key itself) as needed; a refused key takes nothing.
    void SetValue(const std::wstring& name, DWORD type, const void* data, DWORD size, const std::wstring& subKey = {});
    void SetString(const std::wstring& name, const std::wstring& text, const std::wstring& subKey = {},
                   DWORD type = REG_SZ);
    void SetDword(const std::wstring& name, DWORD number, const std::wstring& subKey = {});
    // The sub-key's path below the root.
    std::wstring CreateSubKey(const std::wstring& subKey);

protected:
    // A key above this one that goes at the end, if it is empty then, whoever made it.
    std::wstring removeWhenEmpty_;

private:
    // Creates `path` a level at a time, noting each level it makes; false when the registry refuses.
    bool Create(const std::wstring& path);

    HKEY root_;
    std::wstring path_;
    HKEY key_ = nullptr;
    bool refused_ = false;
    std::vector<std::wstring> created_;  // in creation order
};

// A key of the tests' own under HKCU\Software\QuillfenTests (or that path of another root), made afresh.
class TestKey : public ScopedKey {
public:
    explicit TestKey(const std::wstring& name, HKEY root = HKEY_CURRENT_USER)
        : ScopedKey(root, L"Software\\QuillfenTests\\" + name, KeyBefore::kReplace) {
        removeWhenEmpty_ = L"Software\\QuillfenTests";  // shared by test programs that run at once
    }
};

// A made-up account standing for the session's signed-in user while the program runs as another one
// (Wine has a single user), for the object's life: its loaded hive HKEY_USERS\<kSid>, its ProfileList
// entry naming a scratch profile with Desktop and Temp folders, its User Shell Folders desktop
// (%USERPROFILE%\Desktop), TEMP (%USERPROFILE%\Temp) and its logon's USERNAME (bob) as Windows
// writes them, and the hook that makes the scan take it for the signed-in user. No token of it can be
// had: the registry route.
class MadeUpSignedInUser {
public:
    static constexpr const wchar_t* kSid = L"S-1-5-21-1111111111-2222222222-3333333333-1001";
    MadeUpSignedInUser();
    ~MadeUpSignedInUser();
    MadeUpSignedInUser(const MadeUpSignedInUser&) = delete;
    MadeUpSignedInUser& operator=(const MadeUpSignedInUser&) = delete;

    const std::wstring& profile() const { return profile_.path(); }
    std::wstring desktop() const { return profile_ / L"Desktop"; }
    std::wstring desktopReport() const { return desktop() + L"\\Quillfen.txt"; }
    std::wstring tempReport() const { return profile_ / L"Temp\\Quillfen.txt"; }
    ScopedKey& hive() { return hive_; }

private:
    ScratchFolder profile_;
    ScopedKey hive_;
    ScopedKey profileEntry_;
};
