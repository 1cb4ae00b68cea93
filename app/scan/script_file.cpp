#include "app/scan/script_file.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "report/log.h"
#include "script/interpreter.h"
#include "util/disk_file.h"

namespace {

const wchar_t kUtf32LeRefused[] = L"the text is UTF-32LE, which is not supported; save it as UTF-8 or UTF-16";
const wchar_t kUtf32BeRefused[] = L"the text is UTF-32BE, which is not supported; save it as UTF-8 or UTF-16";
const wchar_t kNotAFile[] = L"it names a device or a pipe, not a file";
constexpr DWORD kChunkSize = 64 * 1024;

std::wstring DecodeMultiByte(UINT codePage, DWORD flags, const unsigned char* bytes, size_t count, bool& ok) {
    ok = true;
    if (count == 0) return {};
    int length =
        MultiByteToWideChar(codePage, flags, reinterpret_cast<const char*>(bytes), static_cast<int>(count), nullptr, 0);
    if (length <= 0) {
        ok = false;
        return {};
    }
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, flags, reinterpret_cast<const char*>(bytes), static_cast<int>(count), text.data(),
                        length);
    return text;
}

// An odd last byte is half a character and is dropped.
std::wstring DecodeUtf16(const unsigned char* bytes, size_t count, bool bigEndian) {
    std::wstring text(count / 2, L'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char first = bytes[2 * i];
        unsigned char second = bytes[2 * i + 1];
        text[i] = static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    return text;
}

bool StartsWith(const std::vector<unsigned char>& bytes, const char* mark, size_t length) {
    return bytes.size() >= length && memcmp(bytes.data(), mark, length) == 0;
}

// A NUL would end the text wherever it is passed on as a C string: it separates lines instead.
std::wstring BreakAtNuls(const std::wstring& decoded) {
    std::wstring text;
    text.reserve(decoded.size());
    for (wchar_t c : decoded) {
        if (c == L'\0') {
            text += kLineEnd;
        } else {
            text += c;
        }
    }
    return text;
}

// The shape of zero bytes: UTF-16LE when at least two and at least half of the byte pairs have a
// zero second byte and fewer than half as many a zero first byte, UTF-16BE the other way round.
ScriptEncoding EncodingByZeroBytes(const std::vector<unsigned char>& bytes, size_t end) {
    size_t pairs = (end + 1) / 2;
    size_t zeroFirst = 0;
    size_t zeroSecond = 0;
    for (size_t i = 0; i < end && i + 1 < bytes.size(); i += 2) {
        if (bytes[i] == 0) ++zeroFirst;
        if (bytes[i + 1] == 0) ++zeroSecond;
    }
    if (zeroSecond >= 2 && zeroSecond * 2 >= pairs && zeroFirst * 2 < zeroSecond) return ScriptEncoding::Utf16Le;
    if (zeroFirst >= 2 && zeroFirst * 2 >= pairs && zeroSecond * 2 < zeroFirst) return ScriptEncoding::Utf16Be;
    return ScriptEncoding::Utf8OrAnsi;
}

bool IsUtf32(ScriptEncoding encoding) {
    return encoding == ScriptEncoding::Utf32Le || encoding == ScriptEncoding::Utf32Be;
}

// Bytes [begin, end) read as `encoding`, for their structure only: 8-bit text byte by byte (the
// structure is ASCII below 0x40, which no byte of a UTF-8 sequence or of a double-byte ANSI character
// is), UTF-16 and UTF-32 unit by unit (a UTF-32 character past U+FFFF as U+FFFD). False when the bytes
// cannot be that encoding: a lone UTF-16 surrogate, a UTF-32 unit past U+10FFFF or a surrogate, or the
// last UTF-32 unit cut short.
bool StructureUnits(const std::vector<unsigned char>& bytes, size_t begin, size_t end, ScriptEncoding encoding,
                    std::wstring& units) {
    if (encoding == ScriptEncoding::Utf8OrAnsi) {
        units.assign(bytes.begin() + begin, bytes.begin() + end);
        return true;
    }
    if (IsUtf32(encoding)) {
        const size_t whole = begin + (end - begin + 3) / 4 * 4;  // the unit the last byte is part of
        if (whole > bytes.size()) return false;
        units.clear();
        for (size_t i = begin; i < whole; i += 4) {
            const unsigned char* b = bytes.data() + i;
            const unsigned long unit = encoding == ScriptEncoding::Utf32Le
                                           ? b[0] | b[1] << 8 | b[2] << 16 | static_cast<unsigned long>(b[3]) << 24
                                           : b[3] | b[2] << 8 | b[1] << 16 | static_cast<unsigned long>(b[0]) << 24;
            if (unit > 0x10FFFF || (unit >= 0xD800 && unit <= 0xDFFF)) return false;
            units += unit > 0xFFFF ? L'\xFFFD' : static_cast<wchar_t>(unit);
        }
        return true;
    }
    const size_t whole = std::min(end + ((end - begin) & 1), bytes.size());  // the pair the last byte is part of
    units = DecodeUtf16(bytes.data() + begin, whole - begin, encoding == ScriptEncoding::Utf16Be);
    for (size_t i = 0; i < units.size(); ++i) {
        const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
        const bool low = units[i] >= 0xDC00 && units[i] <= 0xDFFF;
        if (low) return false;
        if (high) {
            if (i + 1 == units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return false;
            ++i;
        }
    }
    return true;
}

// The lines of `text` that the interpreter takes for a context it knows: a colon first, not a second
// one, then a keyword (blanks around it allowed). A NUL ends a line as a line break does.
size_t KnownContextLines(const std::wstring& text) {
    size_t known = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t stop = text.find_first_of(std::wstring(L"\r\n\0", 3), start);
        if (stop == std::wstring::npos) stop = text.size();
        if (stop - start >= 2 && text[start] == L':' && text[start + 1] != L':') {
            size_t first = text.find_first_not_of(L' ', start + 1);
            size_t last = text.find_last_not_of(L' ', stop - 1);
            if (first < stop && last >= first && GetContext(text.substr(first, last - first + 1).c_str()) != 0) ++known;
        }
        start = stop + 1;
    }
    return known;
}

// What one reading of a script shows of its structure, best first: lines that are known contexts,
// then line ends with no NUL beside them. A line end stands whole, between characters, only in the
// reading whose width and byte order are the text's: read 8-bit, the line ends of UTF-16 or UTF-32
// text have NULs beside them, read as UTF-16 those of UTF-32 text do, and read in the other byte
// order they are no line ends at all.
struct Structure {
    size_t known = 0;
    size_t lineEnds = 0;
};

Structure StructureOf(const std::wstring& units) {
    Structure structure{KnownContextLines(units), 0};
    for (size_t i = 0; i < units.size(); ++i) {
        if (units[i] != L'\r' && units[i] != L'\n') continue;
        if ((i == 0 || units[i - 1] != L'\0') && (i + 1 == units.size() || units[i + 1] != L'\0')) {
            ++structure.lineEnds;
        }
    }
    return structure;
}

bool Beats(const Structure& one, const Structure& other) {
    if (one.known != other.known) return one.known > other.known;
    return one.lineEnds > other.lineEnds;
}

// Of `candidates`, the encoding whose reading of bytes [begin, end) has the best structure; the first
// candidate wins ties and stands when no other reading is valid.
ScriptEncoding BestReading(const std::vector<unsigned char>& bytes, size_t begin, size_t end,
                           std::initializer_list<ScriptEncoding> candidates) {
    ScriptEncoding best = *candidates.begin();
    std::wstring units;
    Structure bestStructure;
    bool bestValid = StructureUnits(bytes, begin, end, best, units);
    if (bestValid) bestStructure = StructureOf(units);
    for (ScriptEncoding other : candidates) {
        if (other == best || !StructureUnits(bytes, begin, end, other, units)) continue;
        const Structure structure = StructureOf(units);
        if (!bestValid || Beats(structure, bestStructure)) {
            best = other;
            bestStructure = structure;
            bestValid = true;
        }
    }
    return best;
}

}  // namespace

ScriptEncoding DetectScriptEncoding(const std::vector<unsigned char>& bytes) {
    size_t end = bytes.size();
    while (end > 0 && bytes[end - 1] == 0) --end;
    // FF FE 00 00 is the UTF-32LE mark, or the UTF-16LE mark and a NUL: the rest of the text decides,
    // and UTF-32 stands unless its reading is invalid or UTF-16's has the better structure.
    if (StartsWith(bytes, "\xFF\xFE\0\0", 4)) {
        const size_t stop = std::max<size_t>(end, 4);
        std::wstring units32;
        std::wstring units16;
        if (!StructureUnits(bytes, 4, stop, ScriptEncoding::Utf32Le, units32)) return ScriptEncoding::Utf16Le;
        const bool utf16 = StructureUnits(bytes, 2, stop, ScriptEncoding::Utf16Le, units16) &&
                           Beats(StructureOf(units16), StructureOf(units32));
        return utf16 ? ScriptEncoding::Utf16Le : ScriptEncoding::Utf32Le;
    }
    if (StartsWith(bytes, "\0\0\xFE\xFF", 4)) return ScriptEncoding::Utf32Be;
    if (StartsWith(bytes, "\xFF\xFE", 2)) return ScriptEncoding::Utf16Le;
    if (StartsWith(bytes, "\xFE\xFF", 2)) return ScriptEncoding::Utf16Be;
    if (StartsWith(bytes, "\xEF\xBB\xBF", 3)) return ScriptEncoding::Utf8OrAnsi;

    // Without a zero byte no UTF-16 or UTF-32 reading holds any ASCII structure.
    if (std::find(bytes.begin(), bytes.begin() + end, 0) == bytes.begin() + end) return ScriptEncoding::Utf8OrAnsi;
    // The reading with the best structure is the script; the shape of the zero bytes decides between
    // readings that are equally good, and first of all when none shows any.
    const ScriptEncoding byShape = EncodingByZeroBytes(bytes, end);
    return BestReading(bytes, 0, end,
                       {byShape, ScriptEncoding::Utf8OrAnsi, ScriptEncoding::Utf16Le, ScriptEncoding::Utf16Be,
                        ScriptEncoding::Utf32Le, ScriptEncoding::Utf32Be});
}

bool DecodeScriptBytes(const std::vector<unsigned char>& bytes, std::wstring& text, ScriptProblem& problem) {
    const unsigned char* data = bytes.data();
    size_t count = bytes.size();
    std::wstring decoded;
    const ScriptEncoding encoding = DetectScriptEncoding(bytes);
    if (encoding == ScriptEncoding::Utf32Le || encoding == ScriptEncoding::Utf32Be) {
        problem = ScriptProblem{0, encoding == ScriptEncoding::Utf32Le ? kUtf32LeRefused : kUtf32BeRefused};
        return false;
    }
    if (encoding == ScriptEncoding::Utf16Le || encoding == ScriptEncoding::Utf16Be) {
        const bool bigEndian = encoding == ScriptEncoding::Utf16Be;
        const size_t mark = StartsWith(bytes, bigEndian ? "\xFE\xFF" : "\xFF\xFE", 2) ? 2 : 0;
        decoded = DecodeUtf16(data + mark, count - mark, bigEndian);
    } else {
        const size_t mark = StartsWith(bytes, "\xEF\xBB\xBF", 3) ? 3 : 0;
        bool ok = false;
        decoded = DecodeMultiByte(CP_UTF8, MB_ERR_INVALID_CHARS, data + mark, count - mark, ok);
        if (!ok) decoded = DecodeMultiByte(CP_ACP, 0, data + mark, count - mark, ok);
    }
    text = BreakAtNuls(decoded);
    return true;
}

bool ReadScriptFile(const wchar_t* path, std::wstring& text, ScriptProblem& problem) {
    // A script is read to its end, which a port, a console or a pipe may never give.
    const DiskFile file = OpenDiskFile(path, ReadOpen::kScript);
    if (file) return ReadScriptHandle(file.handle.get(), text, problem);
    problem = ScriptProblem{file.error, file.error == 0 ? kNotAFile : nullptr};
    return false;
}

bool ReadScriptHandle(HANDLE input, std::wstring& text, ScriptProblem& problem) {
    std::vector<unsigned char> bytes;
    unsigned long error = ERROR_INVALID_HANDLE;  // a process started without standard input
    const ChunkReader read = [&](unsigned char* buffer, DWORD room, DWORD* count) {
        if (ReadFile(input, buffer, room, count, nullptr)) return true;
        error = GetLastError();
        return error == ERROR_BROKEN_PIPE;  // a pipe whose writer has closed its end has ended
    };
    // Everything it gives up to its end, by the reading loop of every file.
    if (input != nullptr && input != INVALID_HANDLE_VALUE &&
        ReadChunks(read, UINT64_MAX, kChunkSize, [&](const unsigned char* piece, DWORD count) {
            bytes.insert(bytes.end(), piece, piece + count);
            return true;
        }) != ReadEnd::kFailed) {
        return DecodeScriptBytes(bytes, text, problem);
    }
    problem = ScriptProblem{error, nullptr};
    return false;
}
