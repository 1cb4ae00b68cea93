#include "util/output_text.h"

#include <windows.h>

namespace {

// Code pages for which WideCharToMultiByte takes no flags at all (it fails with
// ERROR_INVALID_FLAGS otherwise): the ISO-2022 family, HZ, GB18030, ISCII, UTF-7, Symbol and UTF-8.
bool TakesNoFlags(unsigned codePage) {
    switch (codePage) {
        case 42:
        case 50220:
        case 50221:
        case 50222:
        case 50225:
        case 50227:
        case 50229:
        case 52936:
        case 54936:
        case CP_UTF7:
        case CP_UTF8:
            return true;
        default:
            return codePage >= 57002 && codePage <= 57011;
    }
}

}  // namespace

TextEncoding ChooseTextEncoding(bool hasConsole, bool redirected, unsigned consoleCodePage) {
    if (!redirected) return {TextForm::Console, 0, 0};
    const unsigned codePage = hasConsole && consoleCodePage != 0 ? consoleCodePage : CP_UTF8;
    return {TextForm::Bytes, codePage, TakesNoFlags(codePage) ? 0ul : static_cast<unsigned long>(WC_NO_BEST_FIT_CHARS)};
}

std::string EncodeText(const std::wstring& text, const TextEncoding& encoding) {
    if (encoding.form != TextForm::Bytes || text.empty()) return {};
    const int length = static_cast<int>(text.size());
    int size =
        WideCharToMultiByte(encoding.codePage, encoding.flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    // A code page the system cannot convert to still gets the text, as UTF-8.
    if (size <= 0 && encoding.codePage != CP_UTF8) return EncodeText(text, {TextForm::Bytes, CP_UTF8, 0});
    if (size <= 0) return {};
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(encoding.codePage, encoding.flags, text.data(), length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}
