#include "report/log.h"

#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <mutex>
#include <utility>
#include <vector>

namespace {

// Streams with a failed write and their first failure. Entries are made only on failure, so the
// ordinary write takes no lock; there are never more than the C library's open streams.
std::mutex failuresLock;
std::vector<std::pair<FILE*, unsigned long>> failures;

void NoteFailure(FILE* report) {
    unsigned long code = StreamFailureCode(_doserrno);
    clearerr(report);  // so that the next write is tried again
    std::lock_guard<std::mutex> hold(failuresLock);
    for (const auto& failure : failures) {
        if (failure.first == report) return;
    }
    failures.emplace_back(report, code);
}

}  // namespace

void Log(const wchar_t* text, FILE* report) {
    if (text == nullptr) return;
    LogChars(text, wcslen(text), report);
}

void LogChars(const wchar_t* text, size_t count, FILE* report) {
    if (count == 0) return;
    // Cleared, so that a code the C library picks up after a short write is not an older one; the
    // caller's own last error is given back.
    const DWORD callerError = GetLastError();
    _doserrno = 0;
    SetLastError(0);
    // wchar_t is UTF-16 on Windows and the machine is little-endian, so the units go out as they are.
    // The stream's buffer holds whole units (its size is even), so a flush never splits one.
    if (fwrite(text, sizeof(wchar_t), count, report) != count) NoteFailure(report);
    SetLastError(callerError);
}

void FlushLog(FILE* report) {
    const DWORD callerError = GetLastError();
    _doserrno = 0;
    SetLastError(0);
    if (fflush(report) != 0) NoteFailure(report);
    SetLastError(callerError);
}

ReportFlusher::ReportFlusher(FILE* report) : report_(report), stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (stop_) thread_.reset(CreateThread(nullptr, 0, &ReportFlusher::Run, this, 0, nullptr));
}

ReportFlusher::~ReportFlusher() {
    if (thread_) {
        SetEvent(stop_.get());
        WaitForSingleObject(thread_.get(), INFINITE);
    }
}

DWORD WINAPI ReportFlusher::Run(void* self) {
    auto* flusher = static_cast<ReportFlusher*>(self);
    while (WaitForSingleObject(flusher->stop_.get(), kReportFlushMilliseconds) == WAIT_TIMEOUT) {
        FlushLog(flusher->report_);
    }
    return 0;
}

unsigned long TakeLogFailure(FILE* report) {
    std::lock_guard<std::mutex> hold(failuresLock);
    for (auto failure = failures.begin(); failure != failures.end(); ++failure) {
        if (failure->first == report) {
            unsigned long code = failure->second;
            failures.erase(failure);
            return code;
        }
    }
    return 0;
}

unsigned long StreamFailureCode(unsigned long osError) { return osError != 0 ? osError : ERROR_DISK_FULL; }
