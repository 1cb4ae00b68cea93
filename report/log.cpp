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
    bool written = fwrite(text, sizeof(wchar_t), count, report) == count;
    if (fflush(report) != 0 || !written) NoteFailure(report);
    SetLastError(callerError);
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
