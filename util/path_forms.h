// The form in which a path is opened. Windows limits a path to MAX_PATH unless the machine sets
// LongPathsEnabled (0 by default) and the program is longPathAware, and it rewrites names (trailing
// dots and blanks, device names) unless the path is in its \\?\ form: every file, folder and report
// is therefore opened by the \\?\ form of what GetFullPathNameW makes of the typed path.
#pragma once

#include <string>

// True for a path already in a verbatim form (\\?\ or \??\), which the system hands on unchanged:
// such a path is kept as typed (GetFullPathNameW would take \??\C:\t for a relative path).
bool IsVerbatimPath(const wchar_t* path);

// The \\?\ form of a full path as GetFullPathNameW gives it: "C:\x" becomes "\\?\C:\x", "\\server\share"
// becomes "\\?\UNC\server\share" and "\\.\x" becomes "\\?\x"; a verbatim path and a path that is not
// absolute come back unchanged. Names appended to the result are then opened as they are spelt.
std::wstring ExtendedLengthPath(const std::wstring& fullPath);

// GetFullPathNameW's answer for `path`, however long; empty when it gives none.
std::wstring SystemFullPath(const wchar_t* path);

// True when Win32 would open `path` as something other than a file on a disk, judged from its text
// alone: the device namespace (\\.\ and //./ paths; \\?\ and \??\ paths other than a drive path "X:\",
// "UNC\", or a path on a volume without a letter or a shadow copy, "Volume{GUID}\" or
// "GLOBALROOT\Device\HarddiskVolume[ShadowCopy]N\"), the pipe and mailslot shares of a server, and a DOS device name
// (CON, PRN, AUX, NUL, COM1-9, LPT1-9 with superscript 1-3, CONIN$, CONOUT$) as the last part of a path that Win32
// rewrites, whatever its case, extension or trailing dots and blanks.
bool IsDevicePath(const wchar_t* path);

// A typed path in the form to open it by.
struct OpenablePath {
    std::wstring path;
    bool device = false;  // not a file on a disk: never to be opened for reading
};
// The decision for `typed`, given `systemFull`, what GetFullPathNameW made of it (empty when it gave
// nothing). Which names are devices differs between Windows versions (Windows 10 makes "C:\x\com1.log"
// the device \\.\com1, Windows 11 only a bare "com1"), so the system's answer decides: a \\.\ answer is
// a device, any other is opened in its \\?\ form. A verbatim path is kept as typed; without an answer
// the typed path is kept and judged by its text.
OpenablePath ChooseOpenablePath(const std::wstring& typed, const std::wstring& systemFull);
// The same with the system's answer for `typed`: what every open of a typed path goes through.
OpenablePath OpenablePathOf(const wchar_t* typed);

// A typed path made full for the user to read (the console's report line): a verbatim path as typed,
// otherwise its openable form without the \\?\ (or \\?\UNC) that the open adds, so that "C:\x" and
// "x" in C:\ both read C:\x. Which form a path takes is thus decided once, in ChooseOpenablePath.
std::wstring ChooseFullPath(const std::wstring& typed, const OpenablePath& openable);
// The same for `typed` with the system's answer.
std::wstring FullPathOf(const wchar_t* typed);

// The form in which a walk of the folder the user typed opens what it finds: made absolute by the
// platform's own rules (as an enumeration of `folder`\* would be), then in its \\?\ form, with a
// trailing backslash. A verbatim path is taken as typed; one the platform cannot make absolute keeps
// its old form.
std::wstring FolderOpenPath(const std::wstring& folder);
