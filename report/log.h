// The report writer. The report is an open C stream (mode "wb") holding UTF-16LE code units with no
// byte-order mark; every write is flushed, so the file always holds everything written so far.
#pragma once

#include <cstddef>
#include <cstdio>

// Appends the code units of `text` (without its terminator) and flushes. Null or empty writes nothing.
void Log(const wchar_t* text, FILE* report);

// Appends exactly `count` code units, which may include NULs, and flushes once.
void LogChars(const wchar_t* text, size_t count, FILE* report);

// Writers never see a failed write or flush (a full disk, a quota): the first one of each stream is
// kept, as a system error code, and writing goes on, so that whatever can still be written is. This
// hands the kept code over and forgets it; 0 when every write so far succeeded.
unsigned long TakeLogFailure(FILE* report);

// The system error code for a failed stream call, from the operating-system code the C library kept
// (_doserrno, cleared before the call). It keeps none when the system wrote less than asked without
// an error, which a disk file does only when its volume is full.
unsigned long StreamFailureCode(unsigned long osError);
