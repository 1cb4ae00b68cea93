// Reading a script from a file or a stream, whatever encoding a user's editor saved it in.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Decodes script bytes: UTF-16LE with a byte-order mark or without one (recognised by its NUL bytes,
// which no 8-bit text holds), UTF-8 with or without a byte-order mark, otherwise the ANSI code page.
// The text ends at its first NUL character, as the script box's text does.
std::wstring DecodeScriptBytes(const std::vector<unsigned char>& bytes);

// Reads a whole script file, sharing it with other readers and writers. False with the system's error
// code in `error` when it cannot be opened or read.
bool ReadScriptFile(const wchar_t* path, std::wstring& text, unsigned long& error);

// Reads a whole stream (standard input) as script bytes. False on a read error.
bool ReadScriptStream(FILE* stream, std::wstring& text);
