#include "util/strings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "util/owned.h"

namespace {

std::vector<std::wstring> Texts(const String* list) {
    std::vector<std::wstring> texts;
    for (; list != nullptr; list = list->next) texts.emplace_back(list->text);
    return texts;
}

StringList ListOf(std::initializer_list<const wchar_t*> texts) {
    String* list = nullptr;
    for (const wchar_t* text : texts) list = addString(list, text);
    return StringList(list);
}

TEST(StringList, AppendKeepsTheFirstNodeAndCopiesTheText) {
    wchar_t text[] = L"one";
    String* list = addString(nullptr, text);
    String* first = list;
    text[0] = L'X';  // the list holds its own copy
    list = addString(list, L"two");
    list = addString(list, L"three");
    list = addString(list, L"four");
    StringList owner(list);
    EXPECT_EQ(list, first);
    EXPECT_EQ(Texts(list), (std::vector<std::wstring>{L"one", L"two", L"three", L"four"}));
}

TEST(StringList, SortIsAscendingStableAndFoldsOnlyAsciiLetters) {
    StringList sorted(SortStrings(ListOf({L"b", L"A", L"a", L"_x", L"10", L"9"}).release()));
    EXPECT_EQ(Texts(sorted.get()), (std::vector<std::wstring>{L"10", L"9", L"A", L"a", L"b", L"_x"}));

    sorted.reset(SortStrings(ListOf({L"\u00e9", L"\u00c9", L"Z", L"e"}).release()));
    EXPECT_EQ(Texts(sorted.get()), (std::vector<std::wstring>{L"e", L"Z", L"\u00c9", L"\u00e9"}));

    EXPECT_EQ(SortStrings(nullptr), nullptr);
}

TEST(StringList, AppendAfterSortGoesToTheEnd) {
    String* list = SortStrings(ListOf({L"c", L"a", L"b"}).release());
    list = addString(list, L"0");
    StringList owner(list);
    EXPECT_EQ(Texts(list), (std::vector<std::wstring>{L"a", L"b", L"c", L"0"}));
}

TEST(StringList, LargeListsSortStablyAndFreeWithoutRecursion) {
    // Equal keys in different case must keep their insertion order, whatever the merge passes do.
    String* list = nullptr;
    const int count = 300000;
    for (int i = 0; i < count; ++i) {
        wchar_t text[32];
        swprintf(text, 32, L"%c%06d", (i % 2) ? L'k' : L'K', (count - 1 - i) / 2);
        list = addString(list, text);
    }
    StringList sorted(SortStrings(list));
    int seen = 0;
    for (String* node = sorted.get(); node->next != nullptr; node = node->next, ++seen) {
        int order = _tcscmpi(node->text, node->next->text);
        ASSERT_LE(order, 0) << seen;
        if (order == 0) {
            // same number: the upper-case one (appended first) comes first
            ASSERT_EQ(node->text[0], L'K') << seen;
        }
    }
    EXPECT_EQ(seen + 1, count);
}

TEST(DStringList, SortsByFirstAndCarriesSecond) {
    DString* list = addStrings(nullptr, L"b", L"1");
    list = addStrings(list, L"a", L"2");
    list = addStrings(list, L"A", L"3");
    DStringList sorted(SortDStrings(list));
    std::vector<std::wstring> pairs;
    for (DString* node = sorted.get(); node; node = node->next)
        pairs.push_back(std::wstring(node->first) + node->second);
    EXPECT_EQ(pairs, (std::vector<std::wstring>{L"a2", L"A3", L"b1"}));
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
    wchar_t text[] = L"a\r\n\r\nb\n";
    StringList tokens(Split(text, L"\r\n"));
    EXPECT_EQ(Texts(tokens.get()), (std::vector<std::wstring>{L"a", L"b"}));

    wchar_t breaks[] = L"\r\n\n\r";
    EXPECT_EQ(Split(breaks, L"\r\n"), nullptr);

    wchar_t options[] = L"/ s//md5  /t7 ";
    tokens.reset(Split(options, L"/ "));
    EXPECT_EQ(Texts(tokens.get()), (std::vector<std::wstring>{L"s", L"md5", L"t7"}));
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

TEST(Text, DoesFolderExist) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"file.txt", "x");
    EXPECT_EQ(DoesFolderExist(folder.path().c_str()), 1);
    EXPECT_EQ(DoesFolderExist((folder / L"file.txt").c_str()), 0);
    EXPECT_EQ(DoesFolderExist((folder / L"missing").c_str()), 0);
}

}  // namespace
