// The registry layer shared by the registry directives and the service report.
#pragma once

#include <windows.h>

#include "util/strings.h"

// The names of an open key's sub-keys, as the registry spells them, in enumeration order, without
// empty names; null when it has none. A name that cannot be read (the key changed during the walk) is
// skipped, never shown stale. The caller frees the list with freeString.
String* GetSubkeys(HKEY key);
