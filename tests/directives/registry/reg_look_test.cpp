#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "directives/registry/registry.h"
#include "tests/directives/registry/registry_fixtures.h"
#include "tests/support/native_keys.h"
#include "tests/support/pools.h"

namespace {

const std::wstring kUserTests = L"HKEY_CURRENT_USER\\Software\\QuillfenTests\\";

// The key of the worked example: three values of three types, a readable and an unreadable sub-key.
void MakeExample(TestKey& key) {
    key.SetString(L"", L"d");
    key.SetDword(L"Count", 5);
    const BYTE bytes[] = {0x01, 0x02};
    key.SetValue(L"Data", REG_BINARY, bytes, sizeof bytes);
    key.CreateSubKey(L"Beta");
    key.SetString(L"Name", L"x", L"alpha");
}

TEST(RegLook, RecursiveDumpShowsSortedValuesAndSubkeyBlocks) {
    TestKey key(L"RegExample");
    MakeExample(key);
    DenyRead deny(key.root(), key.path() + L"\\Beta");
    const std::wstring p = kUserTests + L"RegExample";
    const std::wstring expected =
        L"\r\n[" + p + L"]\r\n\"Count\"= 0x0000000005 (5)\r\n\"Data\"=01 02  (REG_BINARY)\r\n@=\"d\"\r\n" + L"\r\n[" +
        p + L"\\alpha]\r\n\"Name\"=\"x\"\r\n" + L"\r\n[" + p + L"\\Beta]\r\n(Unable to open key)\r\n\r\n";
    for (const wchar_t* line :
         {L"HKCU\\Software\\QuillfenTests\\RegExample /s", L"HKCU\\Software\\QuillfenTests\\RegExample/SUB",
          L"  [HKEY_CURRENT_USER\\Software\\QuillfenTests\\RegExample] /s",
          L"hkcu\\Software\\QuillfenTests\\RegExample /x /S"}) {
        EXPECT_EQ(RunHandler(RegLook, line), expected) << Narrow(line);
    }
}

TEST(RegLook, WithoutRecursionSubkeysAreBareHeaders) {
    TestKey key(L"RegFlat");
    MakeExample(key);
    key.SetString(L"Deep", L"never shown", L"alpha\\below");
    const std::wstring p = kUserTests + L"RegFlat";
    const std::wstring expected = L"\r\n[" + p +
                                  L"]\r\n\"Count\"= 0x0000000005 (5)\r\n\"Data\"=01 02  (REG_BINARY)\r\n@=\"d\"\r\n" +
                                  L"\r\n[" + p + L"\\alpha]\r\n\r\n[" + p + L"\\Beta]\r\n\r\n";
    EXPECT_EQ(RunHandler(RegLook, L"HKCU\\Software\\QuillfenTests\\RegFlat"), expected);
    // Neither "subkeys" nor a blank-separated s is the switch.
    EXPECT_EQ(RunHandler(RegLook, L"HKCU\\Software\\QuillfenTests\\RegFlat /subkeys"), expected);
}

TEST(RegLook, ValuesSortByQuotedLabelAndSubkeysIgnoringCase) {
    TestKey key(L"RegOrder");
    for (const wchar_t* name : {L"AB", L"A", L"A#", L"A!", L"A B", L"C", L"b", L""}) key.SetString(name, name);
    for (const wchar_t* name : {L"b", L"A", L"C"}) key.CreateSubKey(name);
    const std::wstring p = kUserTests + L"RegOrder";
    // The closing quote takes part: a name going on with a character below it sorts before its prefix.
    const std::wstring expected =
        L"\r\n[" + p +
        L"]\r\n\"A B\"=\"A B\"\r\n\"A!\"=\"A!\"\r\n\"A\"=\"A\"\r\n\"A#\"=\"A#\"\r\n\"AB\"=\"AB\"\r\n"
        L"\"b\"=\"b\"\r\n\"C\"=\"C\"\r\n@=\"\"\r\n" +
        L"\r\n[" + p + L"\\A]\r\n(No values found)\r\n" + L"\r\n[" + p + L"\\b]\r\n(No values found)\r\n" + L"\r\n[" +
        p + L"\\C]\r\n(No values found)\r\n\r\n";
    EXPECT_EQ(RunHandler(RegLook, L"HKCU\\Software\\QuillfenTests\\RegOrder /s"), expected);
}

// Data as the registry hands it over: of each shape the reader must pass on whole (the renderings of
// each type: the ValueText tables).
TEST(RegLook, EveryValueTypeReadFromTheRegistry) {
    TestKey key(L"RegTypes");
    key.SetString(L"sz", L"text");
    const wchar_t expand[] = L"%SystemRoot%\\x";
    key.SetValue(L"expand", REG_EXPAND_SZ, expand, sizeof expand);
    const wchar_t middle[] = L"ab\0cd";
    key.SetValue(L"middle", REG_SZ, middle, sizeof middle);
    const BYTE odd[] = {'o', 0, 'k', 0, '!'};  // odd byte count, no terminator: the last byte is a character
    key.SetValue(L"odd", REG_SZ, odd, sizeof odd);
    const wchar_t multi[] = L"one\0two\0";
    key.SetValue(L"multi", REG_MULTI_SZ, multi, sizeof multi);
    // Wine adds a terminator when the character after the data is NUL: the X keeps it out.
    const wchar_t unended[] = {L'a', 0, L'b', L'X'};  // no final empty string, no terminator
    key.SetValue(L"unended", REG_MULTI_SZ, unended, 3 * sizeof(wchar_t));
    const wchar_t unterminated[] = {L'a', L'b', L'X'};
    key.SetValue(L"unterminated", REG_SZ, unterminated, 2 * sizeof(wchar_t));
    key.SetValue(L"onenul", REG_MULTI_SZ, L"", 2);
    const BYTE shortDword[] = {0x34, 0x12};
    key.SetValue(L"shortdword", REG_DWORD, shortDword, sizeof shortDword);
    const BYTE longDword[] = {1, 0, 0, 0, 9, 9};
    key.SetValue(L"longdword", REG_DWORD, longDword, sizeof longDword);
    const BYTE bytes[] = {1, 0};
    key.SetValue(L"emptybin", REG_BINARY, nullptr, 0);
    key.SetValue(L"huge", 1048576, bytes, 1);
    key.SetValue(L"negative", 0x80000000u, bytes, 1);

    const std::wstring expected = L"\r\n[" + kUserTests +
                                  L"RegTypes]\r\n"
                                  L"\"emptybin\"= (REG_BINARY)\r\n"
                                  L"\"expand\"=\"%SystemRoot%\\x\"\r\n"
                                  L"\"huge\" (Type Unsupported - 1048576)\r\n"
                                  L"\"longdword\"= 0x0000000001 (1)\r\n"
                                  L"\"middle\"=\"ab\"\r\n"
                                  L"\"multi\"=\"one two\"\r\n"
                                  L"\"negative\" (Type Unsupported - -2147483648)\r\n"
                                  L"\"odd\"=\"ok!\"\r\n"
                                  L"\"onenul\"=\" \"\r\n"
                                  L"\"shortdword\"= 0x0000001234 (4660)\r\n"
                                  L"\"sz\"=\"text\"\r\n"
                                  L"\"unended\"=\"a b\"\r\n"
                                  L"\"unterminated\"=\"ab\"\r\n"
                                  L"\r\n";
    EXPECT_EQ(RunHandler(RegLook, L"HKCU\\Software\\QuillfenTests\\RegTypes"), expected);
}

TEST(RegLook, LongestNamesAreReadWhole) {
    TestKey key(L"RegLongNames");
    const std::wstring longest(16383, L'v');  // the longest value name the registry allows
    const std::wstring medium(300, L'm');
    const std::wstring keyName(255, L'k');
    key.SetString(longest, L"1");
    key.SetString(medium, L"2");
    key.SetString(L"short", L"3", keyName);
    const std::wstring p = kUserTests + L"RegLongNames";
    EXPECT_EQ(RunHandler(RegLook, L"HKCU\\Software\\QuillfenTests\\RegLongNames /s"),
              L"\r\n[" + p + L"]\r\n\"" + medium + L"\"=\"2\"\r\n\"" + longest + L"\"=\"1\"\r\n" + L"\r\n[" + p +
                  L"\\" + keyName + L"]\r\n\"short\"=\"3\"\r\n\r\n");
}

TEST(RegLook, FailuresAreReportedOnTheirOwnLines) {
    TestKey key(L"RegFailures");
    key.CreateSubKey(L"Locked");
    DenyRead deny(key.root(), key.path() + L"\\Locked");
    const std::wstring p = kUserTests + L"RegFailures";
    EXPECT_EQ(RunHandler(RegLook, L"HKCU\\Software\\QuillfenTests\\RegFailures\\Locked /s"),
              L"\r\n[" + p + L"\\Locked]\r\n(Unable to open key - access denied)\r\n");
    EXPECT_EQ(RunHandler(RegLook, L"HKCU\\Software\\QuillfenTests\\RegFailures\\Missing"),
              L"\r\n[" + p + L"\\Missing]\r\n(Unable to open key - key not found)\r\n");
    // "X s" is a key name with a blank, not an option.
    EXPECT_EQ(RunHandler(RegLook, L"HKCU\\Software\\QuillfenTests\\RegFailures s"),
              L"\r\n[" + p + L" s]\r\n(Unable to open key - key not found)\r\n");
    EXPECT_EQ(RunHandler(RegLook, L"HKXX\\Software"), L"\r\n[HKXX\\Software]\r\nHive unrecognized.\r\n");
    EXPECT_EQ(RunHandler(RegLook, L"[HKXX\\Software] /s"), L"\r\n[HKXX\\Software]\r\nHive unrecognized.\r\n");
    EXPECT_EQ(RunHandler(RegLook, L"HKEY_LOCAL\\Software"), L"\r\n[HKEY_LOCAL\\Software]\r\nHive unrecognized.\r\n");
    EXPECT_EQ(RunHandler(RegLook, L"   "), L"\r\n[]\r\nHive unrecognized.\r\n");
    EXPECT_EQ(RunHandler(RegLook, L"/s HKLM"), L"\r\n[]\r\nHive unrecognized.\r\n");
    // A path holding a "/" is cut there; the rest is options.
    EXPECT_EQ(RunHandler(RegLook, L"HKCU\\Software\\QuillfenTests\\RegFailures\\text/plain"),
              L"\r\n[" + p + L"\\text]\r\n(Unable to open key - key not found)\r\n");
}

TEST(RegLook, HiveRootsShowTheLongNameAndTheTypedPath) {
    TestKey key(L"RegRoots");
    key.SetString(L"", L"only");
    EXPECT_EQ(RunHandler(RegLook, L"hkcu\\software\\quillfentests\\RegRoots"),
              L"\r\n[HKEY_CURRENT_USER\\software\\quillfentests\\RegRoots]\r\n@=\"only\"\r\n\r\n");

    // The hive root itself: its sub-key headers are the long name, a backslash and the name.
    std::wstring root = RunHandler(RegLook, L"HKCU");
    EXPECT_EQ(root.rfind(L"\r\n[HKEY_CURRENT_USER]\r\n", 0), 0u) << Narrow(root);
    EXPECT_NE(root.find(L"\r\n[HKEY_CURRENT_USER\\Software]\r\n\r\n"), std::wstring::npos) << Narrow(root);
    // A lone trailing backslash opens the root with an empty path: two backslashes in the sub-key paths.
    std::wstring slash = RunHandler(RegLook, L"HKCU\\");
    EXPECT_EQ(slash.rfind(L"\r\n[HKEY_CURRENT_USER\\]\r\n", 0), 0u) << Narrow(slash);
    EXPECT_NE(slash.find(L"\r\n[HKEY_CURRENT_USER\\\\Software]\r\n\r\n"), std::wstring::npos) << Narrow(slash);
}

TEST(RegLook, LinksAreFollowedButNoKeyOnThePathIsEnteredAgain) {
    TestKey key(L"RegLinks");
    NativeKeys native(key);
    MakeLinkLoops(key, native);
    const std::wstring p = kUserTests + L"RegLinks";
    auto block = [&](const std::wstring& sub, const wchar_t* values) {
        return L"\r\n[" + p + sub + L"]\r\n" + values + L"\r\n";
    };
    const wchar_t* none = L"(No values found)";
    // A link shows the tree it points to; one that points at a key open on the path (itself, its
    // parent, an ancestor, a sibling's way back) is listed with that key's values and not entered.
    const std::wstring expected =
        block(L"", L"\"v\"=\"top\"") + block(L"\\A", L"\"a\"=\"1\"") + block(L"\\A\\Self", L"\"a\"=\"1\"") +
        block(L"\\A\\Up", L"\"v\"=\"top\"") + block(L"\\B", L"\"b\"=\"2\"") + block(L"\\B\\ToC", L"\"c\"=\"3\"") +
        block(L"\\B\\ToC\\ToB", L"\"b\"=\"2\"") + block(L"\\C", L"\"c\"=\"3\"") + block(L"\\C\\ToB", L"\"b\"=\"2\"") +
        block(L"\\C\\ToB\\ToC", L"\"c\"=\"3\"") + block(L"\\D", none) + block(L"\\D\\X", none) +
        block(L"\\D\\X\\ToE", none) + block(L"\\D\\X\\ToE\\Y", none) + block(L"\\D\\X\\ToE\\Y\\ToD", none) +
        block(L"\\E", none) + block(L"\\E\\Y", none) + block(L"\\E\\Y\\ToD", none) + block(L"\\E\\Y\\ToD\\X", none) +
        block(L"\\E\\Y\\ToD\\X\\ToE", none) + L"\r\n[" + p + L"\\Loop]\r\n(Unable to open key)\r\n" + L"\r\n";
    bool finished = false;
    std::wstring report = RunSectionInConsole(L"REG", L"HKCU\\Software\\QuillfenTests\\RegLinks /s", finished);
    ASSERT_TRUE(finished) << "the walk did not end";
    EXPECT_EQ(report, expected);
    // Started at a link, the walk shows the tree it points to.
    std::wstring fromLink =
        RunSectionInConsole(L"REG", L"HKCU\\Software\\QuillfenTests\\RegLinks\\B\\ToC /s", finished);
    ASSERT_TRUE(finished);
    EXPECT_EQ(fromLink, block(L"\\B\\ToC", L"\"c\"=\"3\"") + block(L"\\B\\ToC\\ToB", L"\"b\"=\"2\"") +
                            block(L"\\B\\ToC\\ToB\\ToC", L"\"c\"=\"3\"") + L"\r\n");
}

// A link is entered once for each link the walk went through last on its way to it: met again, it is
// listed with one line naming where its sub-keys are; a link inside a tree that is also reached
// through a link (the current control set's) shows under both names, as every other key does.
TEST(RegLook, ALinkMetAgainIsListedWithALineSayingWhereItsSubKeysAre) {
    const std::wstring p = kUserTests + L"RegLinkShapes";
    auto block = [&](const std::wstring& sub) { return L"\r\n[" + p + sub + L"]\r\n(No values found)\r\n"; };
    const struct {
        const char* name;
        std::vector<std::wstring> keys;                            // made first
        std::vector<std::pair<std::wstring, std::wstring>> links;  // link, target
        std::wstring expected;
    } kCases[] = {
        {"two links to one key: each entered",
         {L"T\\C"},
         {{L"L1", L"T"}, {L"L2", L"T"}},
         block(L"") + block(L"\\L1") + block(L"\\L1\\C") + block(L"\\L2") + block(L"\\L2\\C") + block(L"\\T") +
             block(L"\\T\\C")},
        {"the current control set",
         {L"T\\C\\X"},
         {{L"T\\Current", L"T\\C"}, {L"CurrentControlSet", L"T"}},
         block(L"") + block(L"\\CurrentControlSet") + block(L"\\CurrentControlSet\\C") +
             block(L"\\CurrentControlSet\\C\\X") + block(L"\\CurrentControlSet\\Current") +
             block(L"\\CurrentControlSet\\Current\\X") + block(L"\\T") + block(L"\\T\\C") + block(L"\\T\\C\\X") +
             block(L"\\T\\Current") + block(L"\\T\\Current\\X")},
        // P1 and P2 lead to A, whose link V leads to B, whose link L is then met twice after V.
        {"a link met again after the same link",
         {L"A", L"B", L"C\\X"},
         {{L"A\\V", L"B"}, {L"B\\L", L"C"}, {L"P1", L"A"}, {L"P2", L"A"}},
         block(L"") + block(L"\\A") + block(L"\\A\\V") + block(L"\\A\\V\\L") + block(L"\\A\\V\\L\\X") + block(L"\\B") +
             block(L"\\B\\L") + block(L"\\B\\L\\X") + block(L"\\C") + block(L"\\C\\X") + block(L"\\P1") +
             block(L"\\P1\\V") + block(L"\\P1\\V\\L") + L"(Sub-keys listed above, under [" + p + L"\\A\\V\\L])\r\n" +
             block(L"\\P2") + block(L"\\P2\\V") + block(L"\\P2\\V\\L") + L"(Sub-keys listed above, under [" + p +
             L"\\A\\V\\L])\r\n"},
    };
    for (const auto& row : kCases) {
        SCOPED_TRACE(row.name);
        TestKey key(L"RegLinkShapes");
        NativeKeys native(key);
        for (const std::wstring& made : row.keys) key.CreateSubKey(made);
        for (const auto& [link, target] : row.links) native.Link(link, target);
        for (unsigned threads : {1u, 2u, 4u}) {
            WorkPool pool(threads);
            EXPECT_EQ(RunHandler(RegLook, L"HKCU\\Software\\QuillfenTests\\RegLinkShapes /s", pool),
                      row.expected + L"\r\n")
                << threads << " threads";
        }
    }
}

// How often the report lists a key whose value "v" is `data`.
size_t Listings(const std::wstring& report, const std::wstring& data) {
    const std::wstring value = L"]\r\n\"v\"=\"" + data + L"\"\r\n";
    size_t count = 0;
    for (size_t at = report.find(value); at != std::wstring::npos; at = report.find(value, at + 1)) ++count;
    return count;
}

// Keys K0 to K24, each with two links to the next: 2^24 paths to K24, a few listings of it (in the
// whole web, once itself and twice below each of the seven entries of the key above it).
TEST(RegLook, AWebOfLinksIsWalkedInTimeBoundedByItsLinks) {
    TestKey key(L"RegWeb");
    NativeKeys native(key);
    MakeLinkWeb(key, native, 25);
    for (const wchar_t* start : {L"\\K0", L""}) {
        std::wstring oneThread;
        for (const wchar_t* threads : {L"1", L"2", L"4"}) {
            SCOPED_TRACE(Narrow(std::wstring(start) + L", threads " + threads));
            bool finished = false;
            const std::wstring report =
                RunSectionInConsole(L"REG", L"HKCU\\Software\\QuillfenTests\\RegWeb" + std::wstring(start) + L" /s",
                                    finished, std::wstring(L"--quiet --threads ") + threads);
            ASSERT_TRUE(finished) << "the walk did not end";
            for (int level = 1; level < 25; ++level) {
                const size_t listed = Listings(report, L"qf30web K" + std::to_wstring(level));
                EXPECT_GE(listed, 1u) << level;
                EXPECT_LE(listed, 15u) << level;
            }
            EXPECT_NE(report.find(L"(Sub-keys listed above, under [" + kUserTests + L"RegWeb"), std::wstring::npos);
            if (oneThread.empty()) oneThread = report;
            EXPECT_EQ(report, oneThread);
        }
    }
}

TEST(RegLook, NamesWithNulsAreShownWholeAndEntered) {
    TestKey key(L"RegNul");
    NativeKeys native(key);
    key.SetString(L"", L"default");
    key.SetString(L"a", L"plain");
    native.SetString(key.key(), std::wstring(L"\0x", 2), L"hidden");
    native.SetString(key.key(), std::wstring(L"a\0b", 3), L"1");
    native.SetString(key.key(), std::wstring(L"a\0c", 3), L"2");
    HKEY hidden = native.CreateKey(key.key(), std::wstring(L"\0sub", 4));
    ASSERT_NE(hidden, nullptr);
    native.SetString(hidden, L"v", L"inside");
    HKEY deeper = native.CreateKey(hidden, std::wstring(L"\0deeper", 7));
    ASSERT_NE(deeper, nullptr);
    native.SetString(deeper, std::wstring(L"w\0", 2), L"w");
    ASSERT_NE(native.CreateKey(key.key(), std::wstring(L"k\0k", 3)), nullptr);
    const std::wstring p = kUserTests + L"RegNul";
    EXPECT_EQ(
        RunHandler(RegLook, L"HKCU\\Software\\QuillfenTests\\RegNul /s"),
        L"\r\n[" + p +
            L"]\r\n\"a\"=\"plain\"\r\n\"a\\0b\"=\"1\"\r\n\"a\\0c\"=\"2\"\r\n\"\\0x\"=\"hidden\"\r\n@=\"default\"\r\n" +
            L"\r\n[" + p + L"\\\\0sub]\r\n\"v\"=\"inside\"\r\n" + L"\r\n[" + p +
            L"\\\\0sub\\\\0deeper]\r\n\"w\\0\"=\"w\"\r\n" + L"\r\n[" + p + L"\\k\\0k]\r\n(No values found)\r\n\r\n");
}

}  // namespace
