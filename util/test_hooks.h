// Stand-ins a test sets for what Wine cannot show: there every program runs as the one signed-in user.
#pragma once

#include <string>

// The SID FindReportUser takes for the signed-in user's, as if the shell's token could not be opened
// (the account is then read from the registry alone); empty: ask the system, as always outside tests.
void SetSignedInSidForTest(const std::wstring& sid);
