// Where the report goes and what shows it when the usual place or viewer is not there.
#pragma once

#include <string>
#include <vector>

// Whether the desktop's refusal to take the report (a system error code from creating it, or from its
// header's first write) sends the report to the temporary folder instead. Controlled Folder Access
// answers a program it does not know with access denied, "file not found" or "path not found", and may
// let an existing report open and then refuse the write; a protected or read-only folder answers
// write-protected. So where the desktop exists as a folder (`desktopIsFolder`) every failure is a
// refusal but a sharing or lock violation (another run writing the report); where it does not, only
// access denied and write-protected are, and a missing folder stays an error.
bool FolderRefusedReport(unsigned long error, bool desktopIsFolder);

// The report's path in `tempFolder` (as GetTempPathW gives it, with or without its final backslash);
// empty when the folder is empty.
std::wstring TempReportPath(const std::wstring& tempFolder);
// The same in the user's temporary folder; empty when the system names none.
std::wstring UserTempReportPath();

// The Notepads to try, in order, for the Windows folder `windowsFolder` (%SystemRoot%, with or without
// a final backslash; C:\WINDOWS when empty): the one in the Windows folder, then the System32 copy,
// which is the one left where Windows 11 redirects or removes the first.
std::vector<std::wstring> NotepadCandidates(const std::wstring& windowsFolder);
// The Windows folder: %SystemRoot%, else the system's own answer, else empty.
std::wstring WindowsFolder();
