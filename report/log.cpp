#include "report/log.h"

#include <cwchar>

void Log(const wchar_t* text, FILE* report) {
    if (text == nullptr) return;
    LogChars(text, wcslen(text), report);
}

void LogChars(const wchar_t* text, size_t count, FILE* report) {
    if (count == 0) return;
    // wchar_t is UTF-16 on Windows and the machine is little-endian, so the units go out as they are.
    fwrite(text, sizeof(wchar_t), count, report);
    fflush(report);
}
