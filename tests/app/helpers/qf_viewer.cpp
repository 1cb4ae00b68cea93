// A stand-in for the user's own program for text files: the file it is started on is written, as
// UTF-16LE, to the file named by its first argument, and it ends at once. A window program, as such a
// viewer is: a console one would get a console of its own.
#include <windows.h>

#include <cstdlib>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (__argc < 3) return 1;
    HANDLE record = CreateFileW(__wargv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (record == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(record, __wargv[2], static_cast<DWORD>(lstrlenW(__wargv[2]) * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(record);
    return 0;
}
