// The reading behind the CONTENTS context, apart from the opening of its file.
#pragma once

#include <cstdint>
#include <cstdio>

#include "util/disk_file.h"

// Writes the first `limit` bytes that `read` yields (fewer if it ends first) as text-mode reading sees
// them: CR LF becomes LF, 0x1A ends the file, each other byte becomes the code unit of the same value,
// and zero bytes are left out. False when a read fails; what came before it is written.
bool LogContents(const ChunkReader& read, uint64_t limit, FILE* report);
