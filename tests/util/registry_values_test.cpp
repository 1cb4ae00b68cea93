#include "util/registry_values.h"

#include <gtest/gtest.h>

#include "tests/support/native_keys.h"
#include "tests/support/test_support.h"

namespace {

std::wstring Take(const std::optional<std::wstring>& text) { return text.value_or(L"<none>"); }
std::wstring Take(const std::wstring& number) { return number.empty() ? L"<none>" : number; }

TEST(RegistryValues, StringValuesMatchByNameIgnoringCaseAndByTheirOwnType) {
    TestKey key(L"RegistryValues");
    key.SetDword(L"Desktop", 7);  // a DWORD of the wanted name comes first and does not count
    key.SetString(L"desktop2", L"other");
    key.SetString(L"DESKTOP", L"C:\\found");
    key.SetString(L"", L"default text");
    std::wstring expand = L"%SystemRoot%\\x";
    key.SetValue(L"Expand", REG_EXPAND_SZ, expand.c_str(), static_cast<DWORD>((expand.size() + 1) * 2));
    key.SetString(L"Digits", L"123");
    const wchar_t middle[] = L"ab\0cd";
    key.SetValue(L"Middle", REG_SZ, middle, sizeof middle);

    EXPECT_EQ(Take(GetRegSZValue(HKEY_CURRENT_USER, key.path().c_str(), L"desktop")), L"C:\\found");
    EXPECT_EQ(Take(GetRegSZValue(HKEY_CURRENT_USER, key.path().c_str(), L"")), L"default text");
    EXPECT_EQ(Take(GetRegSZValue(HKEY_CURRENT_USER, key.path().c_str(), L"expand")), L"%SystemRoot%\\x");
    EXPECT_EQ(Take(GetRegSZValue(HKEY_CURRENT_USER, key.path().c_str(), L"Middle")), L"ab");
    EXPECT_EQ(Take(GetRegSZValue(HKEY_CURRENT_USER, key.path().c_str(), L"missing")), L"<none>");
    EXPECT_EQ(Take(GetRegSZValue(HKEY_CURRENT_USER, (key.path() + L"\\nokey").c_str(), L"Desktop")), L"<none>");
    EXPECT_EQ(Take(GetRegDWValue(HKEY_CURRENT_USER, key.path().c_str(), L"Digits")), L"<none>");
}

TEST(RegistryValues, DwordsAreSignedDecimalAndShortDataIsZeroExtended) {
    TestKey key(L"RegistryDwords");
    key.SetDword(L"Zero", 0);
    key.SetDword(L"One", 1);
    key.SetDword(L"Big", 2147483648u);
    key.SetDword(L"All", 4294967295u);
    const BYTE two[] = {0x34, 0x12};
    key.SetValue(L"Short", REG_DWORD, two, sizeof two);
    const BYTE six[] = {1, 0, 0, 0, 0xFF, 0xFF};
    key.SetValue(L"Long", REG_DWORD, six, sizeof six);

    auto read = [&](const wchar_t* name) { return Take(GetRegDWValue(HKEY_CURRENT_USER, key.path().c_str(), name)); };
    EXPECT_EQ(read(L"zero"), L"0");
    EXPECT_EQ(read(L"One"), L"1");
    EXPECT_EQ(read(L"Big"), L"-2147483648");
    EXPECT_EQ(read(L"All"), L"-1");
    EXPECT_EQ(read(L"Short"), L"4660");
    EXPECT_EQ(read(L"Long"), L"1");
}

TEST(RegistryValues, NamesAreMatchedWholeAndOddDataKeepsItsLastByte) {
    TestKey key(L"RegistryValuesHostile");
    NativeKeys native(key);
    // A name that only begins with the wanted one, past a NUL, is another value.
    native.SetString(key.key(), std::wstring(L"Desktop\0evil", 12), L"C:\\evil");
    native.SetString(key.key(), std::wstring(L"\0", 1), L"not the default");
    const BYTE odd[] = {'C', 0, ':', 0, 'x'};
    key.SetValue(L"Odd", REG_SZ, odd, sizeof odd);
    EXPECT_EQ(Take(GetRegSZValue(HKEY_CURRENT_USER, key.path().c_str(), L"Desktop")), L"<none>");
    EXPECT_EQ(Take(GetRegSZValue(HKEY_CURRENT_USER, key.path().c_str(), L"")), L"<none>");
    EXPECT_EQ(Take(GetRegSZValue(HKEY_CURRENT_USER, key.path().c_str(), L"odd")), L"C:x");
}

TEST(RegistryValues, DesktopFolderIsExpanded) {
    const std::optional<std::wstring> desktop = GetDesktopFolder();
    ASSERT_TRUE(desktop);
    EXPECT_EQ(desktop->find(L'%'), std::wstring::npos) << Narrow(*desktop);
    EXPECT_NE(GetFileAttributesW(desktop->c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
