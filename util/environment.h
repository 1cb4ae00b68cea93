// Expansion of %NAME% references against the process environment.
#pragma once

#include "util/owned.h"

// Expands `text` as ExpandEnvironmentStringsW does: a reference to a set variable (name matched
// without regard to case) becomes its value, anything else is copied as written. Texts too long for
// the system call are expanded here instead, so the result is never cut. Never null.
OwnedText ExpandEnvironment(const wchar_t* text);
