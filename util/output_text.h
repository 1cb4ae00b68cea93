// How the console front end's lines reach its standard handles.
#pragma once

#include <string>

// Wide text to a console; bytes in a code page (UTF-8 among them) to a file or pipe.
enum class TextForm { Console, Bytes };
struct TextEncoding {
    TextForm form = TextForm::Bytes;
    unsigned codePage = 65001;  // CP_UTF8
    unsigned long flags = 0;    // for WideCharToMultiByte
    bool operator==(const TextEncoding&) const = default;
};

// The encoding of a line for a handle: wide text when it is a console (not `redirected`); redirected,
// the console's output code page when the process has a console (`consoleCodePage` as
// GetConsoleOutputCP gives it, 0 when there is none), since cmd's for /f and PowerShell decode what they
// capture with that code page; UTF-8 without a console. A character the code page lacks becomes "?",
// never a look-alike (best fit could turn a path into another, existing one), where the code page
// allows the flag at all.
TextEncoding ChooseTextEncoding(bool hasConsole, bool redirected, unsigned consoleCodePage);

// `text` as the bytes of `encoding`'s code page, or as UTF-8 when the system cannot convert to that
// code page; empty for the console form.
std::string EncodeText(const std::wstring& text, const TextEncoding& encoding);
