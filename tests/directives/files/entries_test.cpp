// The pure pieces of the listings: attribute field, entry texts and the date filter's reference date.
#include <gtest/gtest.h>

#include "directives/files/files.h"
#include "tests/directives/files/file_fixtures.h"
#include "tests/support/test_support.h"

namespace {

std::string Date(const SYSTEMTIME& time) {
    return std::to_string(time.wYear) + "-" + std::to_string(time.wMonth) + "-" + std::to_string(time.wDay);
}

TEST(AttributeField, OneLetterPerFlagInTableOrder) {
    EXPECT_EQ(AttributeField(0), L"------");
    EXPECT_EQ(AttributeField(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE), L"-ra---");
    EXPECT_EQ(AttributeField(FILE_ATTRIBUTE_DIRECTORY), L"d-----");
    EXPECT_EQ(AttributeField(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE), L"--ahs-");
    EXPECT_EQ(AttributeField(FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_NORMAL), L"-----c");
    // Bits outside the table (reparse point, offline, ...) never show.
    EXPECT_EQ(AttributeField(0xFFFFFFFF), L"drahsc");
    EXPECT_EQ(AttributeField(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT), L"d-----");
}

TEST(EntryTexts, FileAndFolderLayouts) {
    EXPECT_EQ(FileEntryText(FILE_ATTRIBUTE_ARCHIVE, 0, Instant(2021, 3, 7, 13, 5), Instant(1999, 12, 31, 23, 59)),
              L"\t--a--- 0 bytes\t[13:05 07/03/2021]\t[23:59 31/12/1999]");
    EXPECT_EQ(FolderEntryText(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN, Instant(2001, 1, 2, 3, 4)),
              L"\td--h--\t[03:04 02/01/2001]");
    // A time that could not be converted shows as zero fields.
    EXPECT_EQ(FolderEntryText(FILE_ATTRIBUTE_DIRECTORY, SYSTEMTIME{}), L"\td-----\t[00:00 00/00/0]");
}

TEST(EntryTexts, SizesAreShownWhole) {
    const SYSTEMTIME t = Instant(2020, 2, 29, 0, 0);
    EXPECT_EQ(FileEntryText(0, 3221225472ull, t, t),
              L"\t------ 3221225472 bytes\t[00:00 29/02/2020]\t[00:00 29/02/2020]");
    EXPECT_EQ(FileEntryText(0, 5368709123ull, t, t),
              L"\t------ 5368709123 bytes\t[00:00 29/02/2020]\t[00:00 29/02/2020]");
    EXPECT_EQ(FileEntryText(0, 18446744073709551615ull, t, t),
              L"\t------ 18446744073709551615 bytes\t[00:00 29/02/2020]\t[00:00 29/02/2020]");
}

TEST(ReferenceDate, CountsRealCalendarDays) {
    EXPECT_EQ(Date(ReferenceDate(Instant(2024, 3, 1), 1)), "2024-2-29");  // leap February
    EXPECT_EQ(Date(ReferenceDate(Instant(2023, 3, 1), 1)), "2023-2-28");
    EXPECT_EQ(Date(ReferenceDate(Instant(2024, 3, 30), 30)), "2024-2-29");
    EXPECT_EQ(Date(ReferenceDate(Instant(2024, 3, 15), 15)), "2024-2-29");   // a count equal to the day
    EXPECT_EQ(Date(ReferenceDate(Instant(2025, 1, 10), 10)), "2024-12-31");  // across the new year
    EXPECT_EQ(Date(ReferenceDate(Instant(2025, 1, 10), 41)), "2024-11-30");
    EXPECT_EQ(Date(ReferenceDate(Instant(2025, 1, 10), 366)), "2024-1-10");
    EXPECT_EQ(Date(ReferenceDate(Instant(2100, 3, 1), 1)), "2100-2-28");  // no leap day in 2100
    EXPECT_EQ(Date(ReferenceDate(Instant(2000, 3, 1), 1)), "2000-2-29");  // but one in 2000
}

// The days around a 29 February, counted from either side of it, in leap, common and century years.
TEST(ReferenceDate, TheDaysAroundALeapDay) {
    struct Case {
        WORD year, month, day;
        long days;
        const char* reference;
    } cases[] = {
        {2024, 2, 28, 0, "2024-2-28"},   {2024, 2, 29, 1, "2024-2-28"},    {2024, 3, 1, 1, "2024-2-29"},
        {2024, 3, 1, 2, "2024-2-28"},    {2024, 3, 2, 2, "2024-2-29"},     {2024, 3, 2, 3, "2024-2-28"},
        {2023, 3, 1, 1, "2023-2-28"},    {2023, 3, 1, 2, "2023-2-27"},     {2023, 2, 28, 1, "2023-2-27"},
        {2024, 3, 1, 30, "2024-1-31"},   {2024, 3, 1, 31, "2024-1-30"},    {2023, 3, 1, 28, "2023-2-1"},
        {2023, 3, 1, 29, "2023-1-31"},   {2024, 3, 1, 365, "2023-3-2"},    {2024, 3, 1, 366, "2023-3-1"},
        {2025, 3, 1, 365, "2024-3-1"},   {2025, 3, 1, 366, "2024-2-29"},   {2024, 2, 29, 365, "2023-3-1"},
        {2024, 2, 29, 366, "2023-2-28"}, {2028, 2, 29, 1461, "2024-2-29"}, {1900, 3, 1, 1, "1900-2-28"},
        {2000, 3, 1, 1, "2000-2-29"},    {2100, 3, 1, 1, "2100-2-28"},     {2400, 3, 1, 1, "2400-2-29"},
        {1900, 3, 1, 59, "1900-1-1"},    {2000, 3, 1, 60, "2000-1-1"},     {2100, 3, 1, 59, "2100-1-1"},
        {2000, 2, 29, 59, "2000-1-1"},   {2000, 3, 1, 61, "1999-12-31"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Date(ReferenceDate(Instant(c.year, c.month, c.day), c.days)), c.reference)
            << c.year << "-" << c.month << "-" << c.day << " minus " << c.days;
    }
}

TEST(ReferenceDate, ZeroOrNegativeMeansTodayAndHugeCountsStop) {
    EXPECT_EQ(Date(ReferenceDate(Instant(2024, 6, 9, 17, 30), 0)), "2024-6-9");
    EXPECT_EQ(Date(ReferenceDate(Instant(2024, 6, 9), -5)), "2024-6-9");
    EXPECT_EQ(Date(ReferenceDate(Instant(2024, 6, 9), 2147483647L)), "1-1-1");
    SYSTEMTIME reference = ReferenceDate(Instant(2024, 6, 9, 17, 30), 0);
    EXPECT_EQ(reference.wHour, 0);
}

TEST(ReferenceDate, OnOrAfterComparesDatesOnly) {
    const SYSTEMTIME reference = Instant(2024, 2, 29);
    EXPECT_TRUE(IsOnOrAfter(Instant(2024, 2, 29, 0, 0), reference));
    EXPECT_TRUE(IsOnOrAfter(Instant(2024, 3, 1), reference));
    EXPECT_TRUE(IsOnOrAfter(Instant(2025, 1, 1), reference));
    EXPECT_FALSE(IsOnOrAfter(Instant(2024, 2, 28, 23, 59), reference));
    EXPECT_FALSE(IsOnOrAfter(Instant(2023, 12, 31), reference));
    EXPECT_FALSE(IsOnOrAfter(Instant(2024, 1, 30), reference));
}

}  // namespace
