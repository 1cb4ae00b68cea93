// What a test sets to see or stage what a run cannot show by itself. Outside tests none is set.
#pragma once

#include <windows.h>

#include <string>

// The SID FindReportUser takes for the signed-in user's (under Wine every program runs as the one
// signed-in user), as if the shell's token could not be opened (the account is then read from the
// registry alone); empty: ask the system, as always outside tests.
void SetSignedInSidForTest(const std::wstring& sid);

// A fault to inject into folder listings, asked before each attempt (0, then 1 for the retry) at each
// folder (as shown); a nonzero answer is the error that attempt fails with. Null stops it.
using ListingFault = DWORD (*)(const std::wstring& folder, unsigned attempt);
void InjectListingFault(ListingFault fault);

// Told of every open of a file, folder or key for a scan (NoteOpen): a test's way to see on which
// threads the opens ran. Null stops watching.
using OpenWatcher = void (*)();
void WatchOpens(OpenWatcher watcher);
