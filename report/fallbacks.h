// Where the report goes and what shows it when the usual place or viewer is not there.
#pragma once

#include <string>
#include <vector>

// The Notepads to try, in order, for the Windows folder `windowsFolder` (%SystemRoot%, with or without
// a final backslash; C:\WINDOWS when empty): the one in the Windows folder, then the System32 copy,
// which is the one left where Windows 11 redirects or removes the first.
std::vector<std::wstring> NotepadCandidates(const std::wstring& windowsFolder);
// The Windows folder: %SystemRoot%, else the system's own answer, else empty.
std::wstring WindowsFolder();
