// PROCESS on running copies of a program of the tests' own.
#include <windows.h>
// After windows.h, which they need.
#include <gtest/gtest.h>
#include <psapi.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "directives/system/system.h"
#include "tests/support/md5_reference.h"
#include "tests/support/test_support.h"
#include "util/handles.h"

namespace {

const wchar_t kSleeper[] = L"qf_sleeper.exe";

// Copies of qf_sleeper.exe, each running its main before the constructor returns; all are ended
// when the object goes, whatever the test did. `sddl`, when given, is the copies' security descriptor.
class Sleepers {
public:
    // `extra` follows the event's name on each copy's command line.
    explicit Sleepers(int count, const wchar_t* sddl = nullptr, const std::wstring& extra = {}) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (sddl != nullptr &&
            !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
            ADD_FAILURE() << "bad descriptor: " << GetLastError();
        }
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
        for (int i = 0; i < count; ++i) {
            std::string eventName =
                "QuillfenSleeperReady" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(i);
            KernelHandle ready(CreateEventA(nullptr, TRUE, FALSE, eventName.c_str()));
            std::wstring commandLine =
                L"\"" + path() + L"\" " + std::wstring(eventName.begin(), eventName.end()) + extra;
            commandLines_.push_back(commandLine);
            STARTUPINFOW startup = {};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION info = {};
            if (!CreateProcessW(path().c_str(), commandLine.data(), descriptor != nullptr ? &attributes : nullptr,
                                nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
                ADD_FAILURE() << "cannot start " << Narrow(path()) << ": " << GetLastError();
                continue;
            }
            CloseHandle(info.hThread);
            processes_.emplace_back(info.hProcess);
            ids_.push_back(info.dwProcessId);
            EXPECT_EQ(WaitForSingleObject(ready.get(), kHangBoundMs), WAIT_OBJECT_0) << "copy " << i << " never ran";
        }
        LocalFree(descriptor);
    }
    ~Sleepers() {
        for (KernelHandle& process : processes_) {
            TerminateProcess(process.get(), 0);
            WaitForSingleObject(process.get(), kHangBoundMs);
        }
    }
    Sleepers(const Sleepers&) = delete;
    Sleepers& operator=(const Sleepers&) = delete;

    static std::wstring path() { return ExecutableFolder() + L"\\" + kSleeper; }
    // Ends the copy with identifier `id` with `exitCode` and waits until it has gone.
    void End(DWORD id, UINT exitCode = 1) {
        for (size_t i = 0; i < ids_.size(); ++i) {
            if (ids_[i] != id) continue;
            ASSERT_TRUE(TerminateProcess(processes_[i].get(), exitCode));
            ASSERT_EQ(WaitForSingleObject(processes_[i].get(), kHangBoundMs), WAIT_OBJECT_0);
            return;
        }
        ADD_FAILURE() << "no copy " << id;
    }
    const std::vector<DWORD>& ids() const { return ids_; }
    // The command line copy `id` was started with.
    std::wstring CommandLine(DWORD id) const {
        for (size_t i = 0; i < ids_.size(); ++i)
            if (ids_[i] == id) return commandLines_[i];
        return L"<no copy>";
    }

private:
    std::vector<std::wstring> commandLines_;  // in the order of `processes_`, which ids_ shares
    std::vector<KernelHandle> processes_;
    std::vector<DWORD> ids_;
};

// The module paths of a process as the tool-help snapshot lists them.
std::wstring SnapshotModules(DWORD id) {
    FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, id));
    std::wstring lines;
    MODULEENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32FirstW(snapshot.get(), &entry); more; more = Module32NextW(snapshot.get(), &entry))
        lines += std::wstring(entry.szExePath) + L"\r\n";
    return lines;
}

// The identifiers of `ids` in the order a whole enumeration lists them.
std::vector<DWORD> EnumerationOrder(const std::vector<DWORD>& ids) {
    std::vector<DWORD> all(65536);
    DWORD filled = 0;
    EXPECT_TRUE(EnumProcesses(all.data(), static_cast<DWORD>(all.size() * sizeof(DWORD)), &filled));
    all.resize(filled / sizeof(DWORD));
    std::vector<DWORD> order;
    for (DWORD id : all)
        for (DWORD wanted : ids)
            if (id == wanted) order.push_back(id);
    return order;
}

std::wstring Look(const std::wstring& line) { return RunHandler(ProcLook, line); }

TEST(GetProcessHandles, EveryCopyTheLaterEnumeratedFirst) {
    Sleepers sleepers(2);
    std::vector<DWORD> order = EnumerationOrder(sleepers.ids());
    ASSERT_EQ(order.size(), 2u);
    const std::vector<KernelHandle> handles = GetProcessHandles(L"QF_Sleeper.EXE");
    ASSERT_EQ(handles.size(), 2u);
    EXPECT_EQ(GetProcessId(handles[0].get()), order[1]);
    EXPECT_EQ(GetProcessId(handles[1].get()), order[0]);
    EXPECT_TRUE(GetProcessHandles(L"qf_sleeper").empty());  // the extension is part of the name
}

TEST(ProcLook, TwoCopiesWithPathDigestAndModules) {
    Sleepers sleepers(2);
    std::vector<DWORD> order = EnumerationOrder(sleepers.ids());
    ASSERT_EQ(order.size(), 2u);
    std::wstring path = Sleepers::path();
    std::wstring digest = ReferenceMD5(ReadFileBytes(path));
    std::wstring blocks;
    for (DWORD id : {order[1], order[0]})
        blocks += L"\r\nFile path: " + path + L"\r\nMD5: " + digest + L"\r\nCommand line: " + sleepers.CommandLine(id) +
                  L"\r\nModules:\r\n" + SnapshotModules(id);
    ASSERT_NE(SnapshotModules(order[0]).find(path + L"\r\n"), std::wstring::npos);

    EXPECT_EQ(Look(L"qf_sleeper.exe"), L"\r\nqf_sleeper.exe - 2 handle(s) returned." + blocks);
    // Blanks around the name and its case do not matter; the line is echoed as written.
    EXPECT_EQ(Look(L"  QF_SLEEPER.Exe  "), L"\r\n  QF_SLEEPER.Exe   - 2 handle(s) returned." + blocks);
}

TEST(ProcLook, NamesThatMatchNothing) {
    Sleepers sleepers(1);
    std::wstring path = Sleepers::path();
    EXPECT_EQ(Look(path), L"\r\n" + path + L" - Unable to open process handle.\r\n");
    EXPECT_EQ(Look(L"qf_nothing.exe"), L"\r\nqf_nothing.exe - Unable to open process handle.\r\n");
    EXPECT_EQ(Look(L"   "), L"\r\n    - Unable to open process handle.\r\n");
    EXPECT_EQ(Look(L"qf_sleeper.exe").substr(0, 42), L"\r\nqf_sleeper.exe - 1 handle(s) returned.\r\n");
}

// The facts as Windows produces them: a protected process grants the limited query right only
// (ERROR_ACCESS_DENIED for memory reads); the x86 build under WOW64 opens a 64-bit process but cannot
// list its modules (ERROR_PARTIAL_COPY); an ended process keeps its path while its handle is open.
TEST(ChooseProcessBlock, FromWhatCouldBeRead) {
    struct Row {
        const char* what;
        ProcessFacts facts;  // opened, pathRead, exited, modulesOpened, modulesListed
        ProcessBlock block;
    };
    const Row rows[] = {
        {"everything read", {true, true, false, true, true}, ProcessBlock::WithModules},
        {"protected: memory reads refused", {true, true, false, false, false}, ProcessBlock::ModulesUnreadable},
        {"opened for memory reads, list refused", {true, true, false, true, false}, ProcessBlock::ModulesUnreadable},
        {"ended after the match", {true, true, true, true, true}, ProcessBlock::Omitted},
        {"ended, path still readable", {true, true, true, false, false}, ProcessBlock::Omitted},
        {"path unreadable", {true, false, false, true, true}, ProcessBlock::Omitted},
        {"not opened", {false, false, false, false, false}, ProcessBlock::Omitted},
        {"no image file", {true, true, false, false, false, false}, ProcessBlock::NoImageFile},
        {"no image file, ended", {true, true, true, false, false, false}, ProcessBlock::Omitted},
        {"no image file, not in the snapshot", {true, false, false, false, false, false}, ProcessBlock::Omitted},
    };
    for (const Row& row : rows) EXPECT_EQ(ChooseProcessBlock(row.facts), row.block) << row.what;
}

// The count line counts exactly the blocks that follow it.
TEST(FormatProcessSection, CountsTheBlocksWritten) {
    const ProcessFacts full = {true, true, false, true, true};
    const ProcessFacts ended = {true, true, true, true, true};
    const ProcessFacts guarded = {true, true, false, false, false};
    // A command line is shown whole, as names are: NULs as \0, line breaks as they are.
    const ProcessRecord a = {full,
                             L"C:\\a.exe",
                             L"0123456789ABCDEF0123456789ABCDEF",
                             {L"C:\\a.exe", L"", L"C:\\m.dll"},
                             true,
                             std::wstring(L"a.exe \"x\0y\"\r\nz", 14)};
    const ProcessRecord b = {ended, L"C:\\b.exe", L"FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", {L"C:\\b.exe"}, true, L"b"};
    const ProcessRecord c = {guarded, L"C:\\c.exe", L"", {}, false, L""};
    const ProcessRecord registry = {{true, true, false, false, false, false}, L"Registry", L"", {}, false, L""};
    const std::wstring aBlock =
        L"\r\nFile path: C:\\a.exe\r\nMD5: 0123456789ABCDEF0123456789ABCDEF\r\n"
        L"Command line: a.exe \"x\\0y\"\r\nz\r\nModules:\r\nC:\\a.exe\r\n\r\nC:\\m.dll\r\n";
    const std::wstring cBlock =
        L"\r\nFile path: C:\\c.exe\r\nMD5: Unable to calculate MD5.\r\n"
        L"Command line: (Unable to read command line)\r\nModules:\r\n(Unable to read modules)\r\n";
    struct Row {
        const char* what;
        std::vector<ProcessRecord> records;
        std::wstring text;
    };
    const Row rows[] = {
        {"none", {}, L" - Unable to open process handle.\r\n"},
        {"all ended", {b, b}, L" - Unable to open process handle.\r\n"},
        {"one of two ended", {b, a}, L" - 1 handle(s) returned." + aBlock},
        {"modules refused", {a, c}, L" - 2 handle(s) returned." + aBlock + cBlock},
        {"ended between two", {c, b, a}, L" - 2 handle(s) returned." + cBlock + aBlock},
        {"no image file",
         {registry},
         L" - 1 handle(s) returned.\r\nFile path: Registry\r\nMD5: Unable to calculate MD5.\r\n"
         L"Command line: (Unable to read command line)\r\nModules:\r\n"},
    };
    for (const Row& row : rows) EXPECT_EQ(FormatProcessSection(row.records), row.text) << row.what;
}

// QueryFullProcessImageNameW's answers as Windows gives them: a path for a process with an image file,
// ERROR_GEN_FAILURE for System, Registry and Memory Compression; a bare word, or a path that is not
// absolute, would otherwise be opened in the current folder.
TEST(ProcessImages, OnlyAnAbsolutePathIsAFileAndTheOthersGoBySnapshotName) {
    using I = ProcessImage;
    const struct {
        bool read;
        DWORD error;
        const wchar_t* image;
        const wchar_t* snapshot;
        I kind;
        const wchar_t* match;
    } rows[] = {
        {true, 0, L"C:\\Windows\\System32\\svchost.exe", L"svchost.exe", I::kFile, L"svchost.exe"},
        {true, 0, L"\\\\?\\C:\\x\\a.exe", L"a.exe", I::kFile, L"a.exe"},
        {true, 0, L"\\\\server\\share\\b.exe", L"b.exe", I::kFile, L"b.exe"},
        {true, 0, L"Registry", L"Registry", I::kNone, L"Registry"},
        {true, 0, L"MemCompression", L"Memory Compression", I::kNone, L"Memory Compression"},
        {true, 0, L"", L"System", I::kNone, L"System"},
        {true, 0, L"\\Device\\HarddiskVolume3\\c.exe", L"c.exe", I::kNone, L"c.exe"},
        {true, 0, L"C:d.exe", L"d.exe", I::kNone, L"d.exe"},
        {false, ERROR_GEN_FAILURE, L"", L"Registry", I::kNone, L"Registry"},
        {false, ERROR_GEN_FAILURE, L"", L"Secure System", I::kNone, L"Secure System"},
        // Refused or ended: never matched, whatever the snapshot says.
        {false, ERROR_ACCESS_DENIED, L"", L"lsass.exe", I::kUnknown, L""},
        {false, ERROR_INVALID_PARAMETER, L"", L"e.exe", I::kUnknown, L""},
    };
    for (const auto& row : rows) {
        const I kind = ClassifyProcessImage(row.read, row.error, row.image);
        EXPECT_EQ(kind, row.kind) << Narrow(row.image) << " " << row.error;
        EXPECT_EQ(ProcessMatchName(kind, row.image, row.snapshot), row.match) << Narrow(row.image);
    }
}

// The snapshot gives a process the file name of its image.
TEST(ProcessImages, TheSnapshotNamesOurOwnProcess) {
    wchar_t module[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameW(nullptr, module, MAX_PATH), 0u);
    EXPECT_EQ(_tcscmpi(SnapshotProcessName(GetCurrentProcessId()).c_str(), wcsrchr(module, L'\\') + 1), 0);
    EXPECT_EQ(SnapshotProcessName(0xFFFFFFF0), L"");
}

// A copy that ends after the match and before its block is read is neither written nor counted.
TEST(WriteProcesses, CopiesThatEndBetweenMatchAndWrite) {
    Sleepers sleepers(2);
    std::wstring path = Sleepers::path();
    std::wstring digest = ReferenceMD5(ReadFileBytes(path));
    std::vector<KernelHandle> handles = GetProcessHandles(kSleeper);
    ASSERT_EQ(handles.size(), 2u);
    DWORD survivor = GetProcessId(handles[1].get());
    sleepers.End(GetProcessId(handles[0].get()));
    std::wstring text = CaptureReport([&](FILE* report) { WriteProcesses(std::move(handles), report); });
    EXPECT_EQ(text, L" - 1 handle(s) returned.\r\nFile path: " + path + L"\r\nMD5: " + digest + L"\r\nCommand line: " +
                        sleepers.CommandLine(survivor) + L"\r\nModules:\r\n" + SnapshotModules(survivor));

    // Ended with 259, the code GetExitCodeProcess also gives a running process: ended all the same.
    handles = GetProcessHandles(kSleeper);
    ASSERT_EQ(handles.size(), 1u);
    sleepers.End(survivor, STILL_ACTIVE);
    text = CaptureReport([&](FILE* report) { WriteProcesses(std::move(handles), report); });
    EXPECT_EQ(text, L" - Unable to open process handle.\r\n");
}

// As Windows answers: a wait of no time gives WAIT_OBJECT_0 for an ended process and WAIT_TIMEOUT for
// a running one, WAIT_FAILED on a handle without SYNCHRONIZE; GetExitCodeProcess gives 259 for a
// running process and for one that exited with 259.
TEST(ProcessHasEnded, TheWaitDecidesAndTheExitCodeOnlyWithoutIt) {
    const struct {
        const char* what;
        DWORD wait;
        bool codeRead;
        DWORD code;
        bool ended;
    } rows[] = {
        {"running", WAIT_TIMEOUT, true, STILL_ACTIVE, false},
        {"exited with 259", WAIT_OBJECT_0, true, STILL_ACTIVE, true},
        {"exited with 0", WAIT_OBJECT_0, true, 0, true},
        {"ended, code unreadable", WAIT_OBJECT_0, false, 0, true},
        {"running, code unreadable", WAIT_TIMEOUT, false, 0, false},
        {"no SYNCHRONIZE, exited with 1", WAIT_FAILED, true, 1, true},
        {"no SYNCHRONIZE, code 259", WAIT_FAILED, true, STILL_ACTIVE, false},
        {"no SYNCHRONIZE, code unreadable", WAIT_FAILED, false, 0, false},
    };
    for (const auto& row : rows) EXPECT_EQ(ProcessHasEnded(row.wait, row.codeRead, row.code), row.ended) << row.what;
}

// Command lines read from the copies themselves, whatever they hold and up to the longest a process
// can be given (32,767 characters with the terminator).
TEST(ProcLook, CommandLinesAsTheCopiesWereStarted) {
    const size_t base =
        (L"\"" + Sleepers::path() + L"\" QuillfenSleeperReady" + std::to_wstring(GetCurrentProcessId()) + L"_0").size();
    for (const std::wstring& extra : {std::wstring(L" \"two words\"\r\nModules:\t\x263A"), std::wstring(),
                                      L" " + std::wstring(32766 - base - 1, L'x')}) {
        Sleepers sleepers(1, nullptr, extra);
        ASSERT_EQ(sleepers.ids().size(), 1u);
        const std::wstring expected = sleepers.CommandLine(sleepers.ids()[0]);
        const std::wstring text = Look(kSleeper);
        EXPECT_NE(text.find(L"\r\nCommand line: " + expected + L"\r\nModules:\r\n"), std::wstring::npos)
            << expected.size() << Narrow(text.substr(0, 400));
    }
}

// Where the process parameters are, as Windows lays them out: a 64-bit process's PEB and parameters;
// a WOW64 process's own 32-bit ones, which a 64-bit reader finds through ProcessWow64Information and a
// 32-bit reader as its own; a 64-bit process is out of a 32-bit reader's reach.
TEST(ChooseCommandLineLayout, ByReaderAndProcess) {
    const CommandLineLayout native64 = {true, false, 8, 0x20, 0x70}, wow64 = {true, true, 4, 0x10, 0x40},
                            native32 = {true, false, 4, 0x10, 0x40};
    EXPECT_TRUE(ChooseCommandLineLayout(true, false, false) == native64);
    EXPECT_TRUE(ChooseCommandLineLayout(true, false, true) == wow64);
    EXPECT_TRUE(ChooseCommandLineLayout(false, true, true) == native32);
    EXPECT_TRUE(ChooseCommandLineLayout(false, false, false) == native32);  // 32-bit Windows
    EXPECT_FALSE(ChooseCommandLineLayout(false, true, false).readable);
}

// A copy whose security lets anyone query it but not read its memory, as a protected process does.
TEST(ProcLook, ACopyThatRefusesMemoryReads) {
    Sleepers sleepers(1, L"D:(A;;0x101000;;;WD)");  // query limited and synchronize, for everyone
    ASSERT_EQ(sleepers.ids().size(), 1u);
    KernelHandle refused(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, sleepers.ids()[0]));
    ASSERT_FALSE(refused) << "the descriptor did not refuse memory reads";
    std::wstring path = Sleepers::path();
    EXPECT_EQ(Look(L"qf_sleeper.exe"), L"\r\nqf_sleeper.exe - 1 handle(s) returned.\r\nFile path: " + path +
                                           L"\r\nMD5: " + ReferenceMD5(ReadFileBytes(path)) +
                                           L"\r\nCommand line: (Unable to read command line)"
                                           L"\r\nModules:\r\n(Unable to read modules)\r\n");
}

}  // namespace
