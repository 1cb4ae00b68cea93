// The report writer. The report is an open C stream (mode "wb") holding UTF-16LE code units with no
// byte-order mark; every write is flushed, so the file always holds everything written so far.
#pragma once

#include <cstddef>
#include <cstdio>

// Appends the code units of `text` (without its terminator) and flushes. Null or empty writes nothing.
void Log(const wchar_t* text, FILE* report);

// Appends exactly `count` code units, which may include NULs, and flushes once.
void LogChars(const wchar_t* text, size_t count, FILE* report);
