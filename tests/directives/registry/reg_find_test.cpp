#include <gtest/gtest.h>

#include "directives/registry/registry.h"
#include "tests/directives/registry/registry_fixtures.h"
#include "tests/support/native_keys.h"
#include "tests/support/pools.h"

namespace {

// REGFIND walks HKCU and then HKU, where the current user's hive shows up again: findings in test
// keys appear under both.
const std::wstring kUserTests = L"HKEY_CURRENT_USER\\Software\\QuillfenTests\\";

// The HKEY_USERS path of the current user's hive.
std::wstring UsersRoot() {
    for (const std::wstring& name : EnumeratedSubkeys(HKEY_USERS, L"")) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_USERS, (name + L"\\Software\\QuillfenTests").c_str(), 0, KEY_READ, &key) ==
            ERROR_SUCCESS) {
            RegCloseKey(key);
            return L"HKEY_USERS\\" + name;
        }
    }
    ADD_FAILURE() << "the current user's hive is not below HKEY_USERS";
    return {};
}

// Each finding twice: first under HKCU, then under HKU, `findings` written with the HKCU root.
std::wstring Twice(const std::wstring& term, const std::wstring& findings) {
    std::wstring again = findings;
    const std::wstring hkcu = L"[HKEY_CURRENT_USER";
    const std::wstring hku = L"[" + UsersRoot();
    for (size_t at = again.find(hkcu); at != std::wstring::npos; at = again.find(hkcu, at + hku.size())) {
        again.replace(at, hkcu.size(), hku);
    }
    return L"\r\nSearching for \"" + term + L"\"\r\n" + findings + again;
}

TEST(RegFind, KeyAndValueFindingsInWalkOrder) {
    TestKey key(L"RegFindKinds");
    const std::wstring expand = L"x qf5KIND y";
    key.SetValue(L"", REG_EXPAND_SZ, expand.c_str(), static_cast<DWORD>((expand.size() + 1) * 2));
    key.SetDword(L"qf5kindCount", 7);  // neither a DWORD's name nor its data is searched
    const char bytes[] =
        "Q\0F\0"
        "5\0K\0I\0N\0D\0";
    key.SetValue(L"qf5kindBinary", REG_BINARY, bytes, sizeof bytes);
    const wchar_t multi[] = L"alpha\0qf5kind\0";
    key.SetValue(L"List", REG_MULTI_SZ, multi, sizeof multi, L"other\\deep");
    key.SetString(L"Path", L"c:\\quux\\q.exe", L"qf5kind-tool");
    key.SetString(L"Qf5KindName", L"v", L"qf5kind-tool");
    ASSERT_EQ(EnumeratedSubkeys(key.root(), key.path()), (std::vector<std::wstring>{L"other", L"qf5kind-tool"}));

    const std::wstring p = kUserTests + L"RegFindKinds";
    const std::wstring findings = L"[" + p + L"]\r\n@=\"x qf5KIND y\"\r\n" +                        //
                                  L"[" + p + L"\\other\\deep]\r\n\"List\"=\"alpha qf5kind\"\r\n" +  //
                                  L"[" + p + L"\\qf5kind-tool]\r\n" +                               //
                                  L"[" + p + L"\\qf5kind-tool]\r\n\"Qf5KindName\"=\"v\"\r\n";
    EXPECT_EQ(RunHandler(RegFind, L"Qf5Kind"), Twice(L"Qf5Kind", findings));
}

TEST(RegFind, TermsWithQuotesBlanksAndBackslashes) {
    TestKey key(L"RegFindTerms");
    key.SetString(L"qf5run", L"a");
    key.SetString(L"Qf5RunX", L"not a whole name");
    key.SetString(L"Cmd", L"start \"Qf5Run\" now");
    const wchar_t multi[] = L"Qf5a\0Qf5b\0";
    key.SetValue(L"Pair", REG_MULTI_SZ, multi, sizeof multi);
    key.SetString(L"Spaced", L"Qf5End x");
    key.SetString(L"Tight", L"Qf5End");
    key.SetString(L"Where", L"c:\\Qf5Slash\\sub");
    key.CreateSubKey(L"Qf5Slash\\sub");
    const std::wstring p = kUserTests + L"RegFindTerms";

    // A quoted term anchors on a value name's start and end.
    EXPECT_EQ(RunHandler(RegFind, L"\"Qf5Run\""),
              Twice(L"\"Qf5Run\"",
                    L"[" + p + L"]\r\n\"Cmd\"=\"start \"Qf5Run\" now\"\r\n[" + p + L"]\r\n\"qf5run\"=\"a\"\r\n"));
    // A blank matches between two strings of a multi-string.
    EXPECT_EQ(RunHandler(RegFind, L"qf5A QF5b"), Twice(L"qf5A QF5b", L"[" + p + L"]\r\n\"Pair\"=\"Qf5a Qf5b\"\r\n"));
    // A trailing blank is part of the term, and the term is echoed as typed.
    EXPECT_EQ(RunHandler(RegFind, L"qf5end "), Twice(L"qf5end ", L"[" + p + L"]\r\n\"Spaced\"=\"Qf5End x\"\r\n"));
    // Key findings test a key's own name: a backslash only ever matches data.
    EXPECT_EQ(RunHandler(RegFind, L"Qf5Slash\\Sub"),
              Twice(L"Qf5Slash\\Sub", L"[" + p + L"]\r\n\"Where\"=\"c:\\Qf5Slash\\sub\"\r\n"));
}

TEST(RegFind, NothingFoundAndTheLineUpperCased) {
    std::wstring line;
    EXPECT_EQ(RunHandler(RegFind, L"Qf5 nothing anywhere", OnThisThread(), {}, &line),
              L"\r\nSearching for \"Qf5 nothing anywhere\"\r\nNo data found.\r\n");
    EXPECT_EQ(line, L"QF5 NOTHING ANYWHERE");
}

TEST(RegFind, UnreadableKeysAreSkippedAndHiveRootsShowBare) {
    TestKey key(L"RegFindLocked");
    key.SetString(L"Inside", L"qf5locked data", L"Qf5LockedKey");
    DenyRead deny(key.root(), key.path() + L"\\Qf5LockedKey");
    // A value at the root of the hive, removed again when the test ends.
    struct RootValue {
        RootValue() {
            RegSetValueExW(HKEY_CURRENT_USER, L"Qf5LockedRoot", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"r"), 4);
        }
        ~RootValue() { RegDeleteValueW(HKEY_CURRENT_USER, L"Qf5LockedRoot"); }
    } rootValue;

    // The locked key's name matches and is shown; nothing inside it is.
    const std::wstring findings =
        L"[HKEY_CURRENT_USER]\r\n\"Qf5LockedRoot\"=\"r\"\r\n[" + kUserTests + L"RegFindLocked\\Qf5LockedKey]\r\n";
    std::wstring users = UsersRoot();
    EXPECT_EQ(RunHandler(RegFind, L"qf5locked"), L"\r\nSearching for \"qf5locked\"\r\n" + findings + L"[" + users +
                                                     L"]\r\n\"Qf5LockedRoot\"=\"r\"\r\n[" + users +
                                                     L"\\Software\\QuillfenTests\\RegFindLocked\\Qf5LockedKey]\r\n");
}

TEST(RegFind, LinksAreFollowedButNoKeyOnThePathIsEnteredAgain) {
    TestKey key(L"RegFindLinks");
    NativeKeys native(key);
    MakeLinkLoops(key, native, L"Qf6Link ");
    const std::wstring p = kUserTests + L"RegFindLinks";
    auto finding = [&](const std::wstring& sub, const wchar_t* value) {
        return L"[" + p + sub + L"]\r\n" + value + L"\r\n";
    };
    // A key reached again through a link has its values searched, and nothing below it.
    const std::wstring findings =
        finding(L"", L"\"v\"=\"Qf6Link top\"") + finding(L"\\A", L"\"a\"=\"Qf6Link 1\"") +
        finding(L"\\A\\Self", L"\"a\"=\"Qf6Link 1\"") + finding(L"\\A\\Up", L"\"v\"=\"Qf6Link top\"") +
        finding(L"\\B", L"\"b\"=\"Qf6Link 2\"") + finding(L"\\B\\ToC", L"\"c\"=\"Qf6Link 3\"") +
        finding(L"\\B\\ToC\\ToB", L"\"b\"=\"Qf6Link 2\"") + finding(L"\\C", L"\"c\"=\"Qf6Link 3\"") +
        finding(L"\\C\\ToB", L"\"b\"=\"Qf6Link 2\"") + finding(L"\\C\\ToB\\ToC", L"\"c\"=\"Qf6Link 3\"");
    bool finished = false;
    std::wstring report = RunSectionInConsole(L"REGFIND", L"qf6link", finished);
    ASSERT_TRUE(finished) << "the walk did not end";
    EXPECT_EQ(report, Twice(L"qf6link", findings));
}

// A link met again after the same link is searched once: its values are searched as any key's, and a
// finding of its own says where its sub-keys were. P1 and P2
// lead to A, whose link V leads to B, whose link L is met after V below A, P1 and P2.
TEST(RegFind, ALinkMetAgainIsSearchedOnceAndSaysWhere) {
    TestKey key(L"RegFindLinkAgain");
    NativeKeys native(key);
    key.CreateSubKey(L"A");
    key.CreateSubKey(L"B");
    key.SetString(L"t", L"qf30again", L"C");
    key.CreateSubKey(L"C\\X");  // a key without sub-keys shows the same entered or not
    native.Link(L"A\\V", L"B");
    native.Link(L"B\\L", L"C");
    native.Link(L"P1", L"A");
    native.Link(L"P2", L"A");
    const std::wstring p = kUserTests + L"RegFindLinkAgain";
    auto found = [&](const std::wstring& sub) { return L"[" + p + sub + L"]\r\n\"t\"=\"qf30again\"\r\n"; };
    auto again = [&](const std::wstring& sub) {
        return L"[" + p + sub + L"]\r\n(Sub-keys searched above, under [" + p + L"\\A\\V\\L])\r\n";
    };
    // The registry's enumeration order here is the order of the names.
    ASSERT_EQ(EnumeratedSubkeys(HKEY_CURRENT_USER, L"Software\\QuillfenTests\\RegFindLinkAgain"),
              (std::vector<std::wstring>{L"A", L"B", L"C", L"P1", L"P2"}));
    const std::wstring findings = found(L"\\A\\V\\L") + found(L"\\B\\L") + found(L"\\C") + found(L"\\P1\\V\\L") +
                                  again(L"\\P1\\V\\L") + found(L"\\P2\\V\\L") + again(L"\\P2\\V\\L");
    for (unsigned threads : {1u, 2u, 4u}) {
        WorkPool pool(threads);
        EXPECT_EQ(RunHandler(RegFind, L"qf30again", pool), Twice(L"qf30again", findings)) << threads;
    }
}

// Keys K0 to K24, each with two links to the next: the search of the hives ends, and finds K24 a
// few times, not 2^24.
TEST(RegFind, AWebOfLinksIsSearchedInTimeBoundedByItsLinks) {
    TestKey key(L"RegFindWeb");
    NativeKeys native(key);
    MakeLinkWeb(key, native, 25);
    std::wstring oneThread;
    for (const wchar_t* threads : {L"1", L"2", L"4"}) {
        SCOPED_TRACE(Narrow(std::wstring(L"threads ") + threads));
        bool finished = false;
        const std::wstring report =
            RunSectionInConsole(L"REGFIND", L"qf30web k24", finished, std::wstring(L"--quiet --threads ") + threads);
        ASSERT_TRUE(finished) << "the search did not end";
        size_t found = 0;
        const std::wstring value = L"\"v\"=\"qf30web K24\"";
        for (size_t at = report.find(value); at != std::wstring::npos; at = report.find(value, at + 1)) ++found;
        EXPECT_GE(found, 2u);  // below HKEY_CURRENT_USER and HKEY_USERS
        EXPECT_LE(found, 2u * 1000);
        if (oneThread.empty()) oneThread = report;
        EXPECT_EQ(report, oneThread);
    }
}

TEST(RegFind, NamesWithNulsAreFoundInTheirVisibleForm) {
    TestKey key(L"RegFindNul");
    NativeKeys native(key);
    native.SetString(key.key(), std::wstring(L"\0Qf6Hide", 8), L"x");
    HKEY hidden = native.CreateKey(key.key(), std::wstring(L"\0k", 2));
    ASSERT_NE(hidden, nullptr);
    native.SetString(hidden, L"deep", L"qf6hide inside");
    ASSERT_NE(native.CreateKey(hidden, std::wstring(L"Qf6Hide\0y", 9)), nullptr);
    const std::wstring p = kUserTests + L"RegFindNul";
    EXPECT_EQ(RunHandler(RegFind, L"Qf6Hide"),
              Twice(L"Qf6Hide", L"[" + p + L"]\r\n\"\\0Qf6Hide\"=\"x\"\r\n[" + p +
                                    L"\\\\0k]\r\n\"deep\"=\"qf6hide inside\"\r\n[" + p + L"\\\\0k\\Qf6Hide\\0y]\r\n"));
    // The term is matched against the visible form, backslash and zero included.
    EXPECT_EQ(RunHandler(RegFind, L"\\0qf6hide"), Twice(L"\\0qf6hide", L"[" + p + L"]\r\n\"\\0Qf6Hide\"=\"x\"\r\n"));
}

TEST(RegFind, AnOddLastByteOfStringDataIsACharacter) {
    TestKey key(L"RegFindOdd");
    const BYTE odd[] = {'Q', 0, 'f', 0, '6', 0, 'o', 0, 'd', 0, 'Z'};
    key.SetValue(L"Odd", REG_SZ, odd, sizeof odd);
    const BYTE multi[] = {'a', 0, 0, 0, 'Q', 0, 'f', 0, '6', 0, 'o', 0, 'd', 0, 'Z'};
    key.SetValue(L"OddList", REG_MULTI_SZ, multi, sizeof multi);
    const std::wstring p = kUserTests + L"RegFindOdd";
    EXPECT_EQ(RunHandler(RegFind, L"qf6odz"),
              Twice(L"qf6odz", L"[" + p + L"]\r\n\"Odd\"=\"Qf6odZ\"\r\n[" + p + L"]\r\n\"OddList\"=\"a Qf6odZ\"\r\n"));
}

}  // namespace
