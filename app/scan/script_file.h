// Reading a script from a file or standard input, whatever encoding a user's editor saved it in.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Why a script could not be read: the system's error code when the file could not be opened or
// read, or else a one-line reason why its bytes were refused.
struct ScriptProblem {
    unsigned long systemError = 0;
    const wchar_t* refusal = nullptr;
};

// The encodings told apart by their byte-order marks or, without one, by the shape of their bytes.
enum class ScriptEncoding { Utf16Le, Utf16Be, Utf8OrAnsi, Utf32Le, Utf32Be };

// Without a byte-order mark, UTF-16 shows as a zero high byte in most characters: UTF-16LE when at
// least two and at least half of the byte pairs have a zero second byte and fewer than half as many a
// zero first byte, UTF-16BE the other way round. Pairs after the last non-zero byte (padding) are not
// counted. So a stray NUL or two in 8-bit text do not make it UTF-16.
ScriptEncoding DetectScriptEncoding(const std::vector<unsigned char>& bytes);

// Decodes script bytes: UTF-16LE or UTF-16BE with or without a byte-order mark, UTF-8 with or without
// one, otherwise the ANSI code page. A NUL character becomes a line break, so no line after it is
// lost. UTF-32 (recognised by its byte-order mark) is refused: false, `text` untouched and the reason
// in `problem`.
bool DecodeScriptBytes(const std::vector<unsigned char>& bytes, std::wstring& text, ScriptProblem& problem);

// Reads and decodes a whole script file, sharing it with other readers and writers. False with the
// reason in `problem` when it cannot be opened, read or decoded.
bool ReadScriptFile(const wchar_t* path, std::wstring& text, ScriptProblem& problem);

// Reads and decodes all that `input` gives (standard input: a file, a pipe or the console) up to its
// end; a pipe whose writer has gone has ended. False with the system's reason in `problem` when there
// is no handle (a process started without standard input) or a read fails (a folder), as for a file.
bool ReadScriptHandle(HANDLE input, std::wstring& text, ScriptProblem& problem);
