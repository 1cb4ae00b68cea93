// Creation of the report with its two-line header, and opening the finished report in Notepad.
#pragma once

#include "util/handles.h"
#include "util/owned.h"

// The report's place: the desktop folder followed by "\\Quillfen.txt"; empty when the desktop folder
// is not recorded.
OwnedText GetReportPath();

// Creates (or empties) the report at the desktop path and writes the product line and the creation
// line up to the user name. Returns the open report, empty when it cannot be created.
Stream CreateLog();
// The same at a path of the caller's choosing.
Stream CreateLogAt(const wchar_t* path);

// Starts Notepad on the desktop report, which must already be closed. Failures are not reported.
void OpenLog();
void OpenLogAt(const wchar_t* path);
