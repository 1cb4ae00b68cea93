// The report writer. The report is an open C stream (mode "wb") holding UTF-16LE code units with no
// byte-order mark. Writes are buffered; the run flushes after every script line, and a ReportFlusher
// at least every quarter second, so a run that is killed leaves nearly everything written so far.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdio>

#include "util/handles.h"

// Ends every line of the report (and stands for a NUL between the lines of a script).
inline constexpr wchar_t kLineEnd[] = L"\r\n";

// The longest a write waits in the stream's buffer while a ReportFlusher runs.
constexpr DWORD kReportFlushMilliseconds = 250;

// Appends the code units of `text` (without its terminator). Null or empty writes nothing.
void Log(const wchar_t* text, FILE* report);

// Appends exactly `count` code units, which may include NULs.
void LogChars(const wchar_t* text, size_t count, FILE* report);

// Writes out what the stream holds; a failure is kept like that of a write.
void FlushLog(FILE* report);

// Flushes `report` from a thread of its own every kReportFlushMilliseconds while it lives, so that a
// handler that writes a header and then walks for long does not keep the header back. The C library
// locks each stream, so the flush never meets a write half done. Without a thread (none could be
// made) the per-line flushes remain.
class ReportFlusher {
public:
    explicit ReportFlusher(FILE* report);
    ReportFlusher(const ReportFlusher&) = delete;
    ReportFlusher& operator=(const ReportFlusher&) = delete;
    ~ReportFlusher();

private:
    static DWORD WINAPI Run(void* self);

    FILE* report_;
    KernelHandle stop_;
    KernelHandle thread_;
};

// Writers never see a failed write or flush (a full disk, a quota): the first one of each stream is
// kept, as a system error code, and writing goes on, so that whatever can still be written is. This
// hands the kept code over and forgets it; 0 when every write so far succeeded.
unsigned long TakeLogFailure(FILE* report);

// The system error code for a failed stream call, from the operating-system code the C library kept
// (_doserrno, cleared before the call). It keeps none when the system wrote less than asked without
// an error, which a disk file does only when its volume is full.
unsigned long StreamFailureCode(unsigned long osError);
