#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "directives/registry/registry.h"

namespace {

std::vector<BYTE> Bytes(std::initializer_list<int> values) {
    std::vector<BYTE> bytes;
    for (int value : values) bytes.push_back(static_cast<BYTE>(value));
    return bytes;
}

// The UTF-16 code units of `text`, `units` of them, NULs included.
std::vector<BYTE> Units(const wchar_t* text, size_t units) {
    std::vector<BYTE> bytes(units * sizeof(wchar_t));
    memcpy(bytes.data(), text, bytes.size());
    return bytes;
}

std::wstring Text(DWORD type, const std::vector<BYTE>& data) { return ValueText(type, data.data(), data.size()); }

std::wstring Multi(const std::vector<BYTE>& data) { return MultiStringText(data.data(), data.size()); }

TEST(ValueText, RendersEachTypeAsTheReportWritesIt) {
    EXPECT_EQ(Text(REG_DWORD, Bytes({1, 0, 0, 0})), L"= 0x0000000001 (1)");
    EXPECT_EQ(Text(REG_DWORD, Bytes({0x34, 0x12, 0, 0})), L"= 0x0000001234 (4660)");
    EXPECT_EQ(Text(REG_DWORD, Bytes({0xFF, 0xFF, 0xFF, 0xFF})), L"= 0x00ffffffff (-1)");
    EXPECT_EQ(Text(REG_DWORD, Bytes({0, 0, 0, 0})), L"= 0000000000 (0)");
    EXPECT_EQ(Text(REG_DWORD, Bytes({0, 0, 0, 0x80})), L"= 0x0080000000 (-2147483648)");
    EXPECT_EQ(Text(REG_BINARY, Bytes({0x01, 0xAB})), L"=01 ab  (REG_BINARY)");
    EXPECT_EQ(Text(REG_QWORD, Bytes({1, 0, 0, 0, 0, 0, 0, 0})), L"=01 00 00 00 00 00 00 00  (REG_QWORD)");
    EXPECT_EQ(Text(REG_BINARY, {}), L"= (REG_BINARY)");
    EXPECT_EQ(Text(REG_NONE, Bytes({0xFE})), L"=fe  (REG_NONE)");
    EXPECT_EQ(Text(REG_NONE, {}), L"= (REG_NONE)");
    EXPECT_EQ(Text(REG_SZ, Units(L"x", 2)), L"=\"x\"");
    EXPECT_EQ(Text(REG_EXPAND_SZ, Units(L"%TEMP%\\a", 9)), L"=\"%TEMP%\\a\"");
    EXPECT_EQ(Text(REG_MULTI_SZ, Units(L"a\0b\0", 5)), L"=\"a b\"");
    for (DWORD type : {5u, 6u, 8u, 9u, 10u, 12u}) {
        EXPECT_EQ(Text(type, Bytes({1, 2})), L" (Type Unsupported - " + std::to_wstring(type) + L")");
    }
    EXPECT_EQ(Text(1048576, {}), L" (Type Unsupported - 1048576)");
    EXPECT_EQ(Text(0xFFFFFFFF, {}), L" (Type Unsupported - -1)");
}

TEST(ValueText, OddDataNeverReadsPastItsBytes) {
    // Each case sits at the end of its own allocation, so a read past it is caught by the allocator.
    auto text = [](DWORD type, std::vector<BYTE> data) {
        auto* exact = new BYTE[data.size() + 1];
        memcpy(exact, data.data(), data.size());
        std::wstring result = ValueText(type, exact, data.size());
        delete[] exact;
        return result;
    };
    EXPECT_EQ(text(REG_SZ, Bytes({'a', 0, 0, 0, 'b', 0})), L"=\"a\"");  // NUL in the middle
    EXPECT_EQ(text(REG_SZ, Bytes({'a', 0, 'b', 0})), L"=\"ab\"");       // no terminator
    // String data is read as if into a zero-filled buffer two bytes larger than the data, so an odd
    // last byte is a code unit with a zero high byte.
    EXPECT_EQ(text(REG_SZ, Bytes({'a', 0, 'b', 0, 'c'})), L"=\"abc\"");
    EXPECT_EQ(text(REG_SZ, Bytes({'a', 0, 'b'})), L"=\"ab\"");
    EXPECT_EQ(text(REG_SZ, Bytes({'a'})), L"=\"a\"");
    EXPECT_EQ(text(REG_SZ, Bytes({'a', 0, 0})), L"=\"a\"");
    EXPECT_EQ(text(REG_EXPAND_SZ, Bytes({0x2D, 0x4E, 0x41})), L"=\"\u4e2dA\"");
    EXPECT_EQ(text(REG_MULTI_SZ, Bytes({'a', 0, 0, 0, 'b'})), L"=\"a b\"");
    EXPECT_EQ(text(REG_SZ, {}), L"=\"\"");
    EXPECT_EQ(text(REG_DWORD, Bytes({0x34, 0x12})), L"= 0x0000001234 (4660)");  // zero-extended
    EXPECT_EQ(text(REG_DWORD, Bytes({0x05})), L"= 0x0000000005 (5)");
    EXPECT_EQ(text(REG_DWORD, {}), L"= 0000000000 (0)");
    EXPECT_EQ(text(REG_DWORD, Bytes({2, 0, 0, 0, 7, 7})), L"= 0x0000000002 (2)");  // first four bytes
}

TEST(ValueText, MultiStringsJoinWithSingleBlanks) {
    EXPECT_EQ(Multi(Units(L"a\0b\0", 5)), L"a b");
    EXPECT_EQ(Multi(Units(L"one\0two\0three\0", 15)), L"one two three");
    EXPECT_EQ(Multi(Units(L"a\0", 3)), L"a");
    EXPECT_EQ(Multi(Units(L"\0", 2)), L"");
    EXPECT_EQ(Multi(Units(L"", 1)), L" ");  // one NUL: a single blank
    EXPECT_EQ(Multi({}), L"");
    // An empty string in the middle ends the list.
    EXPECT_EQ(Multi(Units(L"a\0\0b\0", 6)), L"a");
    // Without its final empty string or without any terminator: no trailing blank.
    EXPECT_EQ(Multi(Units(L"a\0b\0", 4)), L"a b");
    EXPECT_EQ(Multi(Units(L"a\0b", 3)), L"a b");
    EXPECT_EQ(Multi(Units(L"ab", 2)), L"ab");
    EXPECT_EQ(Multi(Units(L"x", 1)), L"x");
    // An odd last byte is a character with a zero high byte (the data is read as if into a
    // zero-filled buffer two bytes larger); after it there is no supplied NUL to examine.
    std::vector<BYTE> odd = Units(L"a\0b", 3);
    odd.push_back('c');
    EXPECT_EQ(Multi(odd), L"a bc");
    EXPECT_EQ(Multi(Bytes({'x'})), L"x");
    EXPECT_EQ(Multi(Bytes({'a', 0, 0})), L"a");
    EXPECT_EQ(Multi(Bytes({'a', 0, 0, 0, 0})), L"a");
    EXPECT_EQ(Multi(Bytes({0, 0, 'b'})), L" b");
}

TEST(ValueText, LabelsAndBinaryText) {
    // Names are counted: NULs inside show as \0, and only the empty name is the default value.
    const struct {
        std::wstring name;
        const wchar_t* label;
    } kLabels[] = {
        {L"", L"@"},
        {L"Run", L"\"Run\""},
        {L"a\"b\\c", L"\"a\"b\\c\""},  // shown as stored, unescaped
        {std::wstring(L"\0x", 2), L"\"\\0x\""},
        {std::wstring(L"a\0b", 3), L"\"a\\0b\""},
        {std::wstring(L"a\0c", 3), L"\"a\\0c\""},
        {std::wstring(L"\0", 1), L"\"\\0\""},
        {std::wstring(L"x\0\0", 3), L"\"x\\0\\0\""},
    };
    for (const auto& row : kLabels) EXPECT_EQ(ValueLabel(row.name.data(), row.name.size()), row.label);
    EXPECT_EQ(Text(REG_BINARY, Bytes({0x00, 0x7F, 0xFF})), L"=00 7f ff  (REG_BINARY)");
}

TEST(Hives, NamesMapToRootKeysAndBack) {
    EXPECT_EQ(GetHive(L"hklm\\Software"), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(GetHive(L"HKEY_LOCAL_MACHINE\\Software"), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(GetHive(L"Hklm"), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(GetHive(L"HKCR"), HKEY_CLASSES_ROOT);
    EXPECT_EQ(GetHive(L"hkey_current_user\\x"), HKEY_CURRENT_USER);
    EXPECT_EQ(GetHive(L"HKU"), HKEY_USERS);
    EXPECT_EQ(GetHive(L"HKCC"), reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(0x80000005))));
    EXPECT_EQ(GetHive(L"HKPD"), reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(0x80000004))));
    for (const wchar_t* none : {L"HKLMX", L"HKEY_LOCAL", L"", L"\\HKLM", L"HKXX\\Software"}) {
        EXPECT_EQ(GetHive(none), nullptr) << none;
    }
    EXPECT_STREQ(GetHiveString(HKEY_CURRENT_CONFIG), L"HKEY_CURRENT_CONFIG");
    EXPECT_STREQ(GetHiveString(HKEY_PERFORMANCE_DATA), L"HKEY_PERFORMANCE_DATA");
    EXPECT_STREQ(GetHiveString(HKEY_CLASSES_ROOT), L"HKEY_CLASSES_ROOT");
    EXPECT_EQ(GetHiveString(nullptr), nullptr);

    EXPECT_FALSE(GetRegPath(L"HKLM"));
    EXPECT_EQ(GetRegPath(L"HKLM\\"), L"");
    EXPECT_EQ(GetRegPath(L"hklm\\Software\\X\\"), L"Software\\X\\");
}

TEST(NoZeros, SkipsLeadingZerosOnly) {
    EXPECT_STREQ(NoZeros(L"001"), L"1");
    EXPECT_STREQ(NoZeros(L"010"), L"10");
    EXPECT_STREQ(NoZeros(L"000"), L"");
    EXPECT_STREQ(NoZeros(L""), L"");
    EXPECT_STREQ(NoZeros(L"0a0"), L"a0");
}

}  // namespace
