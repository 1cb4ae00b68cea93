#include "util/strings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::wstring>;

TEST(Sort, IsAscendingStableAndFoldsOnlyAsciiLettersUpToTheFirstNul) {
    const struct {
        Texts input;
        Texts sorted;
    } kCases[] = {
        {{L"b", L"A", L"a", L"_x", L"10", L"9"}, {L"10", L"9", L"A", L"a", L"b", L"_x"}},
        {{L"\u00e9", L"\u00c9", L"Z", L"e"}, {L"e", L"Z", L"\u00c9", L"\u00e9"}},
        {{L"ab", L"a", L"AB"}, {L"a", L"ab", L"AB"}},
        {{std::wstring(L"a\0z", 3), L"A", std::wstring(L"a\0b", 3)},
         {std::wstring(L"a\0z", 3), L"A", std::wstring(L"a\0b", 3)}},
        {{}, {}},
    };
    for (const auto& row : kCases) {
        Texts texts = row.input;
        SortStrings(texts);
        EXPECT_EQ(texts, row.sorted);
    }
}

TEST(Sort, LargeListsKeepEqualTextsInTheirOrder) {
    // Equal keys in different case must keep their insertion order, whatever the merge passes do.
    Texts texts;
    const int count = 300000;
    for (int i = 0; i < count; ++i) {
        wchar_t text[32];
        swprintf(text, 32, L"%c%06d", (i % 2) ? L'k' : L'K', (count - 1 - i) / 2);
        texts.emplace_back(text);
    }
    SortStrings(texts);
    for (size_t i = 0; i + 1 < texts.size(); ++i) {
        int order = _tcscmpi(texts[i].c_str(), texts[i + 1].c_str());
        ASSERT_LE(order, 0) << i;
        // same number: the upper-case one (appended first) comes first
        if (order == 0) {
            ASSERT_EQ(texts[i][0], L'K') << i;
        }
    }
}

TEST(Sort, PairsSortByFirstAndCarrySecond) {
    std::vector<TextPair> pairs = {{L"b", L"1"}, {L"a", L"2"}, {L"A", L"3"}};
    SortDStrings(pairs);
    Texts joined;
    for (const TextPair& pair : pairs) joined.push_back(pair.first + pair.second);
    EXPECT_EQ(joined, (Texts{L"a2", L"A3", L"b1"}));
}

TEST(Text, StripCutsTrailingBlanksInPlaceAndSkipsLeadingOnes) {
    wchar_t padded[] = L"  ab  ";
    wchar_t* stripped = Strip(padded);
    EXPECT_STREQ(stripped, L"ab");
    EXPECT_STREQ(padded, L"  ab");

    wchar_t blanks[] = L"   ";
    EXPECT_STREQ(Strip(blanks), L"");
    wchar_t empty[] = L"";
    EXPECT_STREQ(Strip(empty), L"");
    wchar_t tab[] = L"\tab\t ";
    EXPECT_STREQ(Strip(tab), L"\tab\t");
}

TEST(Text, SplitTreatsSeparatorsAsASetAndDropsEmptyTokens) {
    EXPECT_EQ(Split(L"a\r\n\r\nb\n", L"\r\n"), (Texts{L"a", L"b"}));
    EXPECT_EQ(Split(L"\r\n\n\r", L"\r\n"), Texts{});
    EXPECT_EQ(Split(L"", L"\r\n"), Texts{});
    EXPECT_EQ(Split(L"/ s//md5  /t7 ", L"/ "), (Texts{L"s", L"md5", L"t7"}));
    EXPECT_EQ(Split(L" a ", L"\r\n"), (Texts{L" a "}));
}

TEST(Text, CaseInsensitiveComparisonFoldsOnlyAToZ) {
    wchar_t a[] = L"abc";
    wchar_t b[] = L"ABC";
    EXPECT_EQ(_tcscmpi(a, b), 0);
    EXPECT_STREQ(a, L"abc");
    EXPECT_STREQ(b, L"ABC");
    EXPECT_LT(_tcscmpi(L"abc", L"abd"), 0);
    EXPECT_LT(_tcscmpi(L"ab", L"abc"), 0);
    EXPECT_GT(_tcscmpi(L"abc", L"ab"), 0);
    EXPECT_NE(_tcscmpi(L"\u00e9", L"\u00c9"), 0);
    EXPECT_GT(_tcscmpi(L"_", L"z"), 0);       // 0x5F is above 'Z'
    EXPECT_GT(_tcscmpi(L"\xFFFF", L"a"), 0);  // compared as unsigned units

    wchar_t upper[] = L"mixed Case \u00e9 123";
    _tcstoupr(upper);
    EXPECT_STREQ(upper, L"MIXED CASE \u00e9 123");
}

}  // namespace
