// MD5 (RFC 1321): the streaming operations, and the digest of a file's whole content as report text.
#pragma once

#include <cstdint>
#include <string>

#include "util/disk_file.h"

struct MD5_CTX {
    uint32_t state[4];
    uint32_t count[2];         // message length in bits, low word first
    unsigned char buffer[64];  // bytes of the current, incomplete block
};

// Loads the initial state and a zero length.
void MD5Init(MD5_CTX* context);
// Absorbs `length` bytes, transforming every block that completes.
void MD5Update(MD5_CTX* context, const unsigned char* input, uint32_t length);
// Pads, appends the bit length and writes the 16 digest bytes. The context is spent afterwards.
void MD5Final(unsigned char digest[16], MD5_CTX* context);

// The digest of the first `limit` bytes that `read` yields as 32 upper-case hexadecimal digits; empty
// when a read fails or the reader ends before `limit` bytes, since a digest of part of the content
// would pass for the whole.
std::wstring MD5Read(const ChunkReader& read, uint64_t limit);
// The digest of the content that the file at `path` (used as given) had when it was opened; empty when
// it is not a file on a disk whose content can be read (OpenFileContent, with the `attributes` of an
// enumeration when the caller has them), a read fails, or the file shrinks while it is read.
std::wstring MD5File(const wchar_t* path, DWORD attributes = kUnknownAttributes);
// The same for `name` below the open folder `parent` (OpenFileContentAt).
std::wstring MD5FileAt(HANDLE parent, const std::wstring& name, DWORD attributes = kUnknownAttributes);
