// Renderings of registry values in the report's notation. Pure: they see only a type and bytes, so
// that odd data (odd byte counts, missing terminators, short DWORDs) can be tried directly.
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "directives/registry/registry.h"

namespace {

const wchar_t kDefaultLabel[] = L"@";
const wchar_t kQuote = L'"';
const wchar_t kStringOpen[] = L"=\"";
const wchar_t kDwordOpen[] = L"= ";
const wchar_t kBytesOpen[] = L"=";
const wchar_t kUnsupported[] = L" (Type Unsupported - %d)";
const wchar_t kBinaryWord[] = L" (REG_BINARY)";
const wchar_t kQwordWord[] = L" (REG_QWORD)";
const wchar_t kNoneWord[] = L" (REG_NONE)";

wchar_t HexDigit(unsigned nibble) { return L"0123456789abcdef"[nibble & 0xF]; }

void AppendHexBytes(std::wstring& out, const BYTE* data, size_t size) {
    out.reserve(out.size() + size * 3);
    for (size_t i = 0; i < size; ++i) {
        out += HexDigit(data[i] >> 4);
        out += HexDigit(data[i]);
        out += L' ';
    }
}

// "%#.10x (%d)": ten digits at least, the 0x prefix only for a number other than 0.
void AppendDword(std::wstring& out, uint32_t number) {
    if (number != 0) out += L"0x";
    wchar_t text[40];
    swprintf(text, sizeof text / sizeof text[0], L"%.10x (%d)", number, static_cast<int32_t>(number));
    out += text;
}

}  // namespace

std::wstring ValueLabel(const wchar_t* name, size_t length) {
    if (length == 0) return kDefaultLabel;
    std::wstring label(1, kQuote);
    label += VisibleName(name, length);
    label += kQuote;
    return label;
}

std::wstring MultiStringText(const BYTE* data, size_t size) {
    std::wstring text;
    if (size == 0) return text;
    // The walk sees the data's code units (an odd last byte is one) and, after data of an even size,
    // one NUL, as a reader that keeps two zero bytes after the data would; and never more than
    // size - 1 characters, except that a single byte is still its character.
    std::wstring units = StringDataUnits(data, size);
    size_t readable = (size + 2) / sizeof(wchar_t);
    size_t examined = size - 1 > units.size() ? size - 1 : units.size();
    size_t limit = examined < readable ? examined : readable;
    text.reserve(units.size());
    bool afterNul = false;
    bool ended = false;
    for (size_t i = 0; i < limit; ++i) {
        wchar_t c = i < units.size() ? units[i] : L'\0';
        if (c != L'\0') {
            text += c;
            afterNul = false;
        } else if (!afterNul) {
            text += L' ';
            afterNul = true;
        } else {
            text.pop_back();
            ended = true;
            break;
        }
    }
    // A list that runs to the end of what can be read without its empty string: the last NUL (the
    // data's own or the one supplied after it) ends a string, not the list, and shows no blank.
    if (!ended && limit == readable && afterNul) text.pop_back();
    return text;
}

std::wstring ValueText(DWORD type, const BYTE* data, size_t size) {
    std::wstring text;
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
        case REG_MULTI_SZ:
            text = kStringOpen;
            text += type == REG_MULTI_SZ ? MultiStringText(data, size) : StringDataText(data, size);
            text += kQuote;
            return text;
        case REG_DWORD: {
            // Short data shows the bytes present, zero-extended; long data its first four.
            uint32_t number = 0;
            if (size != 0) memcpy(&number, data, size < sizeof number ? size : sizeof number);
            text = kDwordOpen;
            AppendDword(text, number);
            return text;
        }
        case REG_BINARY:
        case REG_QWORD:
        case REG_NONE:
            text = kBytesOpen;
            AppendHexBytes(text, data, size);
            text += type == REG_BINARY ? kBinaryWord : type == REG_QWORD ? kQwordWord : kNoneWord;
            return text;
        default: {
            wchar_t remark[48];
            swprintf(remark, sizeof remark / sizeof remark[0], kUnsupported, static_cast<int32_t>(type));
            return remark;
        }
    }
}
