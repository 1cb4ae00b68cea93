#include <gtest/gtest.h>
#include <windows.h>
// tlhelp32.h needs windows.h before it
#include <tlhelp32.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <vector>

#include "report/create_log.h"
#include "report/log.h"
#include "tests/support/test_support.h"
#include "util/handles.h"
#include "util/registry_values.h"

namespace {

TEST(Log, WritesCodeUnitsLittleEndianWithoutTerminator) {
    ScratchFolder folder;
    std::wstring path = folder / L"r.txt";
    FILE* report = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(report, nullptr);
    Log(nullptr, report);
    Log(L"", report);
    Log(L"\r\n", report);
    FlushLog(report);
    EXPECT_EQ(ReadFileBytes(path), std::string("\x0D\x00\x0A\x00", 4));  // already flushed
    Log(L"\u00e9", report);
    const wchar_t withNul[] = {L'a', L'\0', L'b'};
    LogChars(withNul, 3, report);
    fclose(report);
    EXPECT_EQ(ReadFileBytes(path), std::string("\x0D\x00\x0A\x00\xE9\x00"
                                               "a\x00\x00\x00"
                                               "b\x00",
                                               12));
}

std::wstring CreationLine(const SYSTEMTIME& t) {
    wchar_t line[80];
    swprintf(line, 80, L"Log created at %02u:%02u on %02u/%02u/%u by ", t.wHour, t.wMinute, t.wDay, t.wMonth, t.wYear);
    return line;
}

// Creates a report at `path`, and returns its text and the two creation lines the clock allowed.
std::wstring CreateAndRead(const std::wstring& path, std::wstring& before, std::wstring& after) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    before = CreationLine(t);
    Stream report = CreateLog(path.c_str());
    GetLocalTime(&t);
    after = CreationLine(t);
    if (!report) return L"<not created>";
    report.reset();
    return ReadUtf16File(path);
}

TEST(CreateLog, WritesTheProductAndCreationLinesUpToTheUserName) {
    ScratchFolder folder;
    std::wstring path = folder / L"Quillfen.txt";
    const std::wstring product = L"Quillfen v1.0 by tarnwick (11.01.10)\r\n";
    std::wstring before, after;
    {
        ScopedEnvironment user(L"USERNAME", L"alice");
        std::wstring text = CreateAndRead(path, before, after);
        EXPECT_TRUE(text == product + before + L"alice" || text == product + after + L"alice") << Narrow(text);
    }
    {
        ScopedEnvironment user(L"USERNAME", nullptr);
        std::wstring text = CreateAndRead(path, before, after);
        EXPECT_TRUE(text == product + before + L"%username%" || text == product + after + L"%username%")
            << Narrow(text);
    }
    {
        // Longer than the 74 characters a fixed creation-line buffer would hold: written whole.
        std::wstring longName(300, L'n');
        ScopedEnvironment user(L"USERNAME", longName.c_str());
        std::wstring text = CreateAndRead(path, before, after);
        EXPECT_TRUE(text == product + before + longName || text == product + after + longName) << Narrow(text);
    }
    EXPECT_EQ(ReadFileBytes(path).substr(0, 2), std::string("Q\0", 2));  // no byte-order mark
}

TEST(CreateLog, ReplacesAnEarlierReportAndFailsWithoutAFolder) {
    ScratchFolder folder;
    std::wstring path = folder / L"Quillfen.txt";
    WriteFileBytes(path, std::string(5000, 'x'));
    std::wstring before, after;
    std::wstring text = CreateAndRead(path, before, after);
    EXPECT_EQ(text.find(L'x'), std::wstring::npos);
    EXPECT_EQ(text.rfind(L"Quillfen v1.0", 0), 0u);

    EXPECT_EQ(CreateAndRead(folder / L"missing\\Quillfen.txt", before, after), L"<not created>");
}

}  // namespace

namespace {

TEST(Log, TheCLibrarysErrorBecomesTheSystemsReason) {
    const struct {
        unsigned long osError;
        unsigned long expected;
    } cases[] = {
        {ERROR_DISK_FULL, ERROR_DISK_FULL},  // WriteFile failed: its own code
        {ERROR_HANDLE_DISK_FULL, ERROR_HANDLE_DISK_FULL},
        {ERROR_NETNAME_DELETED, ERROR_NETNAME_DELETED},
        {ERROR_NOT_ENOUGH_QUOTA, ERROR_NOT_ENOUGH_QUOTA},
        {0, ERROR_DISK_FULL},  // a short write without an error
    };
    for (const auto& c : cases) EXPECT_EQ(StreamFailureCode(c.osError), c.expected) << c.osError;
}

TEST(Log, AFailedWriteIsKeptAndWritingGoesOn) {
    ScratchFolder folder;
    const std::wstring volume = folder / L"tiny";
    ASSERT_TRUE(CreateDirectoryW(volume.c_str(), nullptr));
    TinyVolume tiny(volume, 16);
    ASSERT_TRUE(tiny.mounted());
    WriteFileBytes(volume + L"\\filler", std::string(16384, 'f'));  // the volume is full
    const std::wstring path = volume + L"\\r.txt";
    FILE* report = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(report, nullptr);
    Log(L"lost", report);  // each flushed as the interpreter flushes each line
    FlushLog(report);
    Log(L"lost too", report);
    FlushLog(report);
    DeleteFileW((volume + L"\\filler").c_str());
    Log(L"kept", report);
    FlushLog(report);
    EXPECT_EQ(TakeLogFailure(report), static_cast<unsigned long>(ERROR_DISK_FULL));
    EXPECT_EQ(TakeLogFailure(report), 0u) << "handed over once";
    fclose(report);
    EXPECT_EQ(ReadUtf16File(path), L"kept");
}

TEST(CreateLog, AFullDiskShowsAtTheClose) {
    Stream report = CreateLog(L"Z:\\dev\\full");
    ASSERT_TRUE(report);
    Log(L"more", report.get());
    EXPECT_EQ(CloseLog(report), static_cast<unsigned long>(ERROR_DISK_FULL));
    EXPECT_FALSE(report);

    ScratchFolder folder;
    report = CreateLog((folder / L"fine.txt").c_str());
    ASSERT_TRUE(report);
    EXPECT_EQ(CloseLog(report), 0u);
}

TEST(CreateLog, TheOpenReportHasOneWriterAndAnyNumberOfReaders) {
    ScratchFolder folder;
    const std::wstring path = folder / L"Quillfen.txt";
    Stream report = CreateLog(path.c_str());
    ASSERT_TRUE(report);
    const DWORD anySharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    FileHandle writer(CreateFileW(path.c_str(), GENERIC_WRITE, anySharing, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    FileHandle reader(CreateFileW(path.c_str(), GENERIC_READ, anySharing, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(reader) << "error " << GetLastError();
    Stream second = CreateLog(path.c_str());
    EXPECT_FALSE(second);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    reader.reset();
    EXPECT_EQ(CloseLog(report), 0u);
    EXPECT_EQ(ReadUtf16File(path).rfind(kHeaderStart, 0), 0u);
}

TEST(CreateLog, TheDefaultReportLivesOnTheDesktopWithOrWithoutItsShellFoldersCopy) {
    ScratchDesktop desktop;
    for (const bool withCopy : {true, false}) {
        ScopedValue copy(HKEY_CURRENT_USER, kShellFolders, L"Desktop");
        if (!withCopy) {
            ASSERT_TRUE(copy.Remove());
        }
        EXPECT_EQ(GetDesktopFolder(), withCopy ? std::optional<std::wstring>(desktop.path()) : std::nullopt);
        const std::wstring path = GetReportPath();
        EXPECT_EQ(path, desktop.report()) << withCopy;
        Stream report = CreateLog(path.c_str());
        ASSERT_TRUE(report);
        EXPECT_EQ(CloseLog(report), 0u);
        EXPECT_EQ(ReadUtf16File(path).rfind(kHeaderStart, 0), 0u) << withCopy;
    }
}

}  // namespace

namespace {

// Polls `path` until it holds at least `bytes` bytes or `ms` milliseconds have passed.
size_t WaitForSize(const std::wstring& path, size_t bytes, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    size_t size = ReadFileBytes(path).size();
    while (size < bytes && GetTickCount64() < end) {
        Sleep(20);
        size = ReadFileBytes(path).size();
    }
    return size;
}

// The ids of this process's threads.
std::set<DWORD> ThreadIds() {
    std::set<DWORD> ids;
    FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && Thread32First(snapshot.get(), &entry); more;
         more = Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
    }
    return ids;
}

TEST(ReportFlusher, WritesOutWhatTheBufferHoldsWhileItRuns) {
    ScratchFolder folder;
    const std::wstring path = folder / L"Quillfen.txt";
    Stream report = CreateLog(path.c_str());
    ASSERT_TRUE(report);
    EXPECT_EQ(ReadFileBytes(path).size(), 0u) << "the header waits in the buffer";
    Log(L"\r\nheader", report.get());
    const std::set<DWORD> before = ThreadIds();
    KernelHandle thread;
    {
        ReportFlusher flusher(report.get());
        std::vector<DWORD> added;
        std::ranges::set_difference(ThreadIds(), before, std::back_inserter(added));
        ASSERT_EQ(added.size(), 1u) << "the flusher has no thread of its own";
        thread.reset(OpenThread(SYNCHRONIZE, FALSE, added[0]));
        ASSERT_TRUE(thread);
        // Generous: a loaded machine may delay the thread, never by seconds.
        EXPECT_GE(WaitForSize(path, 2, 10000), 2u);
        EXPECT_TRUE(ReadUtf16File(path).ends_with(L"\r\nheader"));
    }
    // Once the flusher is gone its thread has ended, so nothing writes the buffer out behind the writer.
    EXPECT_EQ(WaitForSingleObject(thread.get(), 0), WAIT_OBJECT_0) << "the flusher's thread outlived it";
    Log(L"after", report.get());
    EXPECT_FALSE(ReadUtf16File(path).ends_with(L"after"));
    EXPECT_EQ(CloseLog(report), 0u);
    EXPECT_TRUE(ReadUtf16File(path).ends_with(L"\r\nheaderafter"));
}

TEST(ReportFlusher, AFailedFlushOnItsThreadIsKept) {
    Stream report = CreateLog(L"Z:\\dev\\full");
    ASSERT_TRUE(report);
    {
        ReportFlusher flusher(report.get());
        unsigned long failure = 0;
        for (const ULONGLONG end = GetTickCount64() + 10000; failure == 0 && GetTickCount64() < end; Sleep(20)) {
            failure = TakeLogFailure(report.get());
        }
        EXPECT_EQ(failure, static_cast<unsigned long>(ERROR_DISK_FULL));
    }
    CloseLog(report);
}

}  // namespace
