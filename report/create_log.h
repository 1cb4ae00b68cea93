// Creation of the report with its two-line header, and opening the finished report in Notepad.
#pragma once

#include <string>

#include "util/handles.h"

struct ReportUser;

// The report's place: the desktop folder (the shell's known folder, else the one recorded under
// "Shell Folders") followed by "\\Quillfen.txt"; empty when neither is known. With `user`, that
// signed-in user's desktop instead of this account's.
std::wstring GetReportPath(const ReportUser* user = nullptr);

// Creates (or empties) the report at `path` and writes the product line and the creation line up to
// the user name. Returns the open report, empty when it cannot be created. The report is open for
// reading by others, for writing by no one else, until it is closed.
Stream CreateLog(const wchar_t* path);

// Closes the report and gives the first failure (a system error code) of its writes or of the close
// itself; 0 when everything written reached the file. `report` is empty afterwards.
unsigned long CloseLog(Stream& report);

// Starts Notepad on the report at `path`, which must already be closed: the Windows folder's Notepad,
// else its System32 copy, else the user's program for text files (the shell's "open"). 0 when one
// started, else the system's error code from the last Notepad tried.
unsigned long OpenLogAt(const wchar_t* path);
