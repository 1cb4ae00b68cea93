// The system's own words for an error code, as the report and the console show them.
#pragma once

#include <string>

// The system's text for an error code, on one line (line breaks as blanks, none at the end).
std::wstring SystemErrorText(unsigned long error);
