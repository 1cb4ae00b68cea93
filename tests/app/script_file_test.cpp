// Script decoding: every encoding a user's editor may save, told apart by mark or by byte shape, and
// NULs that must never cut a script short.
#include "app/scan/script_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/os_fixtures.h"
#include "tests/support/test_support.h"

namespace {

std::vector<unsigned char> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// A byte-order mark before the bytes (built by appending: GCC 12 warns falsely on literal + temporary).
std::string Marked(const char* mark, const std::string& bytes) {
    std::string marked = mark;
    marked += bytes;
    return marked;
}

// The text's characters (none past U+FFFF) as UTF-32 without a mark.
std::string Utf32Bytes(const std::wstring& text, bool bigEndian = false) {
    std::string bytes;
    for (wchar_t c : text) {
        const std::string unit{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8), '\0', '\0'};
        bytes += bigEndian ? std::string(unit.rbegin(), unit.rend()) : unit;
    }
    return bytes;
}

const std::wstring kScript = L":ENV\r\ncaf\u00e9 \u20ac";
// A name of twenty CJK characters: far more non-zero byte pairs than the ASCII structure's zero bytes.
const std::wstring kCjkName =
    L"C:\\\u6587\u4ef6\u5939\\\u8fd9\u662f\u4e00\u4e2a\u5f88\u957f\u7684\u4e2d\u6587\u6587\u4ef6\u540d\u79f0"
    L"\u7528\u4e8e\u6d4b\u8bd5\u7684\u540d\u5b57.txt";
const std::wstring kCjkScript = L":FILE\r\n" + kCjkName + L"\r\n";

TEST(DecodeScriptBytes, EveryEncodingAndStrayNulShape) {
    using E = ScriptEncoding;
    const std::string nul(1, '\0');
    // The encodings an editor saves, then the NUL shapes none of them should make.
    std::vector<EncodedScript> cases = EncodedScripts();
    cases.insert(
        cases.end(),
        {
            {"empty", "", E::Utf8OrAnsi, L""},
            {"utf16le mark alone", "\xFF\xFE", E::Utf16Le, L""},
            // A few NULs in 8-bit text, wherever they are, leave it 8-bit and become line breaks.
            {"utf8, NUL inside", ":ENV\r\na" + nul + "b", E::Utf8OrAnsi, L":ENV\r\na\r\nb"},
            {"utf8, NUL first", nul + ":ENV\r\nx", E::Utf8OrAnsi, L"\r\n:ENV\r\nx"},
            {"utf8, two NULs", ":ENV" + nul + "x" + nul + "\r\n", E::Utf8OrAnsi, L":ENV\r\nx\r\n\r\n"},
            {"utf8, NUL padding", std::string("x").append(6, '\0'), E::Utf8OrAnsi, L"x\r\n\r\n\r\n\r\n\r\n\r\n"},
            {"one character and NUL", "x" + nul, E::Utf8OrAnsi, L"x\r\n"},
            // A NUL character inside UTF-16 separates lines as well.
            {"utf16le, U+0000 inside", Utf16Bytes(L":ENV\r\na") + nul + nul + Utf16Bytes(L"b"), E::Utf16Le,
             L":ENV\r\na\r\nb"},
            {"utf16le with mark, U+0000 inside", Marked("\xFF\xFE", Utf16Bytes(L":ENV")) + nul + nul + Utf16Bytes(L"x"),
             E::Utf16Le, L":ENV\r\nx"},
            {"utf16be, U+0000 inside", Utf16Bytes(L":ENV\r\na", true) + nul + nul + Utf16Bytes(L"b", true), E::Utf16Be,
             L":ENV\r\na\r\nb"},
            {"utf16le without mark, two characters", Utf16Bytes(L"ab"), E::Utf16Le, L"ab"},
            {"utf16be without mark, two characters", Utf16Bytes(L"ab", true), E::Utf16Be, L"ab"},
            {"utf16le, a stray odd NUL byte after it", Utf16Bytes(L":ENV\r\nx") + nul, E::Utf16Le, L":ENV\r\nx"},
            {"utf16le, NUL padding after it", Utf16Bytes(L":ENV\r\nx") + std::string(8, '\0'), E::Utf16Le,
             L":ENV\r\nx\r\n\r\n\r\n\r\n"},
            {"utf16le, half of it outside Latin-1",
             Utf16Bytes(L":ENV\r\n\u0444\u0430\u0439\u043b\u0020\u0444\u0430\u0439"), E::Utf16Le,
             L":ENV\r\n\u0444\u0430\u0439\u043b\u0020\u0444\u0430\u0439"},
            // Decided by where the structure stands: CJK names leave UTF-16 with few zero bytes, and NULs
            // between 8-bit lines can stand where UTF-16 would have its zero bytes.
            {"utf16le without mark, CJK names", Utf16Bytes(kCjkScript), E::Utf16Le, kCjkScript},
            {"utf16be without mark, CJK names", Utf16Bytes(kCjkScript, true), E::Utf16Be, kCjkScript},
            {"utf16le without mark, CJK names, CR alone", Utf16Bytes(L":FILE\r" + kCjkName), E::Utf16Le,
             L":FILE\r" + kCjkName},
            {"utf8, one-letter lines between NULs", ":ENV" + nul + "a" + nul + "b" + nul + "c", E::Utf8OrAnsi,
             L":ENV\r\na\r\nb\r\nc"},
            {"utf8, NULs at even places before a context", "a" + nul + "b" + nul + ":ENV" + nul + "x", E::Utf8OrAnsi,
             L"a\r\nb\r\n:ENV\r\nx"},
            {"utf8, NUL lines with blanks around the keyword", ":  DIR " + nul + "C" + nul, E::Utf8OrAnsi,
             L":  DIR \r\nC\r\n"},
            // Without a context or a line end, a NUL in 8-bit text leaves it 8-bit.
            {"utf8 without context, a NUL inside", "ab" + nul + "cd", E::Utf8OrAnsi, L"ab\r\ncd"},
        });
    for (const EncodedScript& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> bytes = Bytes(c.bytes);
        EXPECT_EQ(DetectScriptEncoding(bytes), c.encoding);
        std::wstring text = L"untouched";
        ScriptProblem problem;
        ASSERT_TRUE(DecodeScriptBytes(bytes, text, problem));
        EXPECT_EQ(text, c.text) << Narrow(text);
        EXPECT_EQ(problem.refusal, nullptr);
    }
}

TEST(DecodeScriptBytes, Utf32IsRefusedByName) {
    using E = ScriptEncoding;
    const std::string utf32le("\xFF\xFE\0\0:\0\0\0E\0\0\0", 12);
    const std::string utf32be("\0\0\xFE\xFF\0\0\0:\0\0\0E", 12);
    struct Case {
        std::string bytes;
        ScriptEncoding encoding;
        const wchar_t* refusal;
    } cases[] = {
        {utf32le, E::Utf32Le, L"the text is UTF-32LE, which is not supported; save it as UTF-8 or UTF-16"},
        {utf32be, E::Utf32Be, L"the text is UTF-32BE, which is not supported; save it as UTF-8 or UTF-16"},
        {utf32le.substr(0, 4), E::Utf32Le, L"the text is UTF-32LE, which is not supported; save it as UTF-8 or UTF-16"},
        // Without a mark, by the structure: known contexts, or else line ends that stand whole.
        {Utf32Bytes(L":ENV\r\nx"), E::Utf32Le,
         L"the text is UTF-32LE, which is not supported; save it as UTF-8 or UTF-16"},
        {Utf32Bytes(L":ENV\r\nx", true), E::Utf32Be,
         L"the text is UTF-32BE, which is not supported; save it as UTF-8 or UTF-16"},
        {Utf32Bytes(L"\u6587\u4ef6\r\n\u540d\r\n"), E::Utf32Le,
         L"the text is UTF-32LE, which is not supported; save it as UTF-8 or UTF-16"},
        // The UTF-16LE mark and a NUL, then a character: UTF-32 as well (its one reading without NULs).
        {std::string("\xFF\xFE\0\0x\0\0\0", 8), E::Utf32Le,
         L"the text is UTF-32LE, which is not supported; save it as UTF-8 or UTF-16"},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> bytes = Bytes(c.bytes);
        EXPECT_EQ(DetectScriptEncoding(bytes), c.encoding);
        std::wstring text = L"untouched";
        ScriptProblem problem;
        EXPECT_FALSE(DecodeScriptBytes(bytes, text, problem));
        EXPECT_EQ(text, L"untouched");
        ASSERT_NE(problem.refusal, nullptr);
        EXPECT_STREQ(problem.refusal, c.refusal);
        EXPECT_EQ(problem.systemError, 0u);
    }
}

TEST(ReadScriptFile, ReadsDecodesAndNamesTheSystemsReason) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"be.txt", Marked("\xFE\xFF", Utf16Bytes(kScript, true)));
    std::wstring text;
    ScriptProblem problem;
    ASSERT_TRUE(ReadScriptFile((folder / L"be.txt").c_str(), text, problem));
    EXPECT_EQ(text, kScript);

    text = L"untouched";
    EXPECT_FALSE(ReadScriptFile((folder / L"missing.txt").c_str(), text, problem));
    EXPECT_EQ(problem.systemError, static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(problem.refusal, nullptr);
    EXPECT_EQ(text, L"untouched");

    WriteFileBytes(folder / L"utf32.txt", std::string("\xFF\xFE\0\0x\0\0\0", 8));
    problem = ScriptProblem{};
    EXPECT_FALSE(ReadScriptFile((folder / L"utf32.txt").c_str(), text, problem));
    ASSERT_NE(problem.refusal, nullptr);
    EXPECT_NE(std::wstring(problem.refusal).find(L"UTF-32LE"), std::wstring::npos);
    EXPECT_EQ(text, L"untouched");

    // A script file is read by the path's long form, and nothing that is not a disk file is read.
    const std::wstring deep = folder / (std::wstring(120, L'd') + L"\\" + std::wstring(120, L'e'));
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder / std::wstring(120, L'd')).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    WriteFileBytes(L"\\\\?\\" + deep + L"\\script.txt", Utf16WithMark(kScript));
    text.clear();
    EXPECT_TRUE(ReadScriptFile((deep + L"\\script.txt").c_str(), text, problem));
    EXPECT_EQ(text, kScript);
    NotFiles notFiles(folder.path());
    ASSERT_TRUE(notFiles.made());
    for (const std::wstring& path : notFiles.paths()) {
        problem = ScriptProblem{};
        bool read = true;
        EndsWithinOrStops("reading " + Narrow(path), [&] { read = ReadScriptFile(path.c_str(), text, problem); });
        EXPECT_FALSE(read) << Narrow(path);
        EXPECT_STREQ(problem.refusal, L"it names a device or a pipe, not a file") << Narrow(path);
    }
    EXPECT_FALSE(notFiles.PipeOpened());
}

}  // namespace
