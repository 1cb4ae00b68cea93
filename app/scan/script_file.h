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

// Without a byte-order mark, by the script's own structure: every script is built of ASCII (line
// breaks, the colon of a context line, blanks), which stands in different places in each encoding.
// Text without a zero byte is 8-bit. Otherwise, of the readings that are valid (UTF-16 without a lone
// surrogate, UTF-32 with every unit a character), the one with the most lines that are context lines
// of a known keyword wins, and between those the one with the most line ends that have no NUL beside
// them (read in another width or byte order, line ends have NULs beside them or are none), so that
// UTF-16 whose names are CJK (few zero bytes), UTF-32 and 8-bit text whose lines are separated by
// NULs are read as what they are. Between readings that are equally good (none shows any structure,
// say) the shape of the zero bytes decides: UTF-16LE when at least two and at least half of the byte
// pairs have a zero second byte and fewer than half as many a zero first byte, UTF-16BE the other way
// round, else 8-bit. Pairs after the last non-zero byte (padding) are not counted. FF FE 00 00 is the
// UTF-32LE mark unless the text after it is no UTF-32 or reads better as UTF-16LE after FF FE.
ScriptEncoding DetectScriptEncoding(const std::vector<unsigned char>& bytes);

// Decodes script bytes: UTF-16LE or UTF-16BE with or without a byte-order mark, UTF-8 with or without
// one, otherwise the ANSI code page. A NUL character becomes a line break, so no line after it is
// lost. UTF-32 (recognised by its byte-order mark or its structure) is refused: false, `text` untouched and the reason
// in `problem`.
bool DecodeScriptBytes(const std::vector<unsigned char>& bytes, std::wstring& text, ScriptProblem& problem);

// Reads and decodes a whole script file, sharing it with other readers and writers. False with the
// reason in `problem` when it cannot be opened, read or decoded, or is not a file on a disk (a device,
// a port, a pipe: never read). A path of any length is opened by its \\?\ form.
bool ReadScriptFile(const wchar_t* path, std::wstring& text, ScriptProblem& problem);

// Reads and decodes all that `input` gives (standard input: a file, a pipe or the console) up to its
// end; a pipe whose writer has gone has ended. False with the system's reason in `problem` when there
// is no handle (a process started without standard input) or a read fails (a folder), as for a file.
bool ReadScriptHandle(HANDLE input, std::wstring& text, ScriptProblem& problem);
