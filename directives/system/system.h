// The SERVICE and PROCESS handlers and the lookups that serve them.
#pragma once

#include <windows.h>

#include <cstdio>

#include "directives/directives.h"
#include "util/owned.h"
#include "util/strings.h"

// --- service_format.cpp ---

// Writes the words of one service current-state value, with nothing around them.
void PrintState(DWORD state, FILE* report);

// --- service_registry.cpp ---

// The "Group" value of the service's registry key as a new text, or an empty owner when the key cannot
// be opened or has no readable value of that name.
OwnedText GetGroup(const wchar_t* serviceName);

// The upper-cased service names of the SafeBoot set `setName` ("Minimal" or "Network"), a driver's
// ".sys" cut off; null when there are none. The caller frees the list with freeString.
String* GetSafeBootServices(const wchar_t* setName);
// The group names of the same set, as the registry spells them; null when there are none.
String* GetSafeBootGroups(const wchar_t* setName);

// --- proc_look.cpp ---

// Opens every process whose image file name equals `name` (ignoring case), the last enumerated first.
// Returns a new array (released with free) of open handles that the caller closes, and their number
// through `count`; null with a count of 0 when none matches.
HANDLE* GetProcessHandles(const wchar_t* name, int* count);
