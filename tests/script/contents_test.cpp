// The reading behind CONTENTS, fed by readers the tests make: text-mode rules across read boundaries,
// the size at the open as the end, and reads that fail.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "script/text_contexts.h"
#include "tests/support/test_support.h"

namespace {

std::wstring Contents(const ChunkReader& read, uint64_t limit, bool* whole = nullptr) {
    return CaptureReport([&](FILE* report) {
        bool ok = LogContents(read, limit, report);
        if (whole != nullptr) *whole = ok;
    });
}

TEST(Contents, TextModeRulesHoldWhereverAReadEnds) {
    struct Case {
        std::string bytes;
        std::wstring shown;
    };
    const Case cases[] = {
        {"a\r\nb", L"a\nb"},
        {"b\r\r\nc", L"b\r\nc"},                  // only the CR right before LF goes
        {std::string("c\r\0\nd", 5), L"c\r\nd"},  // a zero between keeps the CR, then is left out
        {"d\r", L"d\r"},                          // a CR at the very end stays
        {"\r\n\r\n", L"\n\n"},
        {"x\x1Ay\r\n", L"x"},  // 0x1A ends the file
        {"e\r\x1A\n", L"e\r"},
        {"\xE9\xFF\x01", L"\u00e9\u00ff\u0001"},  // every other byte is the code unit of its value
    };
    for (const Case& c : cases) {
        for (size_t piece : {1, 2, 3, 64}) {
            bool whole = false;
            EXPECT_EQ(Contents(PieceReader(c.bytes, piece), 1000, &whole), c.shown) << Narrow(c.shown) << " " << piece;
            EXPECT_TRUE(whole);
        }
    }
}

TEST(Contents, AFileThatKeepsGrowingEndsAtItsSizeAtTheOpen) {
    // Ten bytes of "ab\r\nab\r\nab..." and no more, however much more there is to read.
    EXPECT_EQ(Contents(PieceReader("ab\r\n", 3, std::string::npos, true), 10), L"ab\nab\nab");
    // The limit falls between a CR and its LF: the CR is shown, as at an end of file.
    EXPECT_EQ(Contents(PieceReader("ab\r\n", 4, std::string::npos, true), 7), L"ab\nab\r");
    std::wstring big = Contents(PieceReader("0123456789", 4096, std::string::npos, true), 1000000);
    EXPECT_EQ(big.size(), 1000000u);
    EXPECT_EQ(big.substr(999990), L"0123456789");
}

TEST(Contents, AFailedReadEndsTheContentsWhereItHappened) {
    bool whole = true;
    EXPECT_EQ(Contents(PieceReader("one\r\ntwo\r", 4, 9), 1000, &whole), L"one\ntwo\r");
    EXPECT_FALSE(whole);
}

TEST(Contents, NothingIsReadAfterTheEndOfFileCharacter) {
    // A 0x1A in the first 1 MiB chunk of a larger file: the reader would fail on any later read, and
    // counts the reads it is asked for.
    std::string first(1 << 20, 'a');
    first[1000] = 0x1A;
    int reads = 0;
    auto reader = [&](unsigned char* buffer, DWORD room, DWORD* count) {
        if (++reads > 1) return false;
        const DWORD n = room < first.size() ? room : static_cast<DWORD>(first.size());
        memcpy(buffer, first.data(), n);
        *count = n;
        return true;
    };
    bool whole = false;
    EXPECT_EQ(Contents(reader, 3u << 20, &whole), std::wstring(1000, L'a'));
    EXPECT_TRUE(whole);
    EXPECT_EQ(reads, 1);
}

}  // namespace
