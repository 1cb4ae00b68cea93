#include <gtest/gtest.h>

#include "directives/registry/registry.h"
#include "tests/support/test_support.h"
#include "util/owned.h"

namespace {

TEST(Subkeys, ListsEveryNameInEnumerationOrder) {
    TestKey key(L"Subkeys");
    EXPECT_EQ(GetSubkeys(key.key()), nullptr);
    for (const wchar_t* name : {L"b", L"A", L"C"}) key.CreateSubKey(name);
    std::wstring longName(255, L'n');
    key.CreateSubKey(longName);

    StringList names(GetSubkeys(key.key()));
    std::vector<std::wstring> seen;
    for (String* node = names.get(); node; node = node->next) seen.emplace_back(node->text);
    // Whatever order the registry keeps, the list is that order: compare with a walk of our own.
    std::vector<std::wstring> expected;
    wchar_t buffer[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(key.key(), i, buffer, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        expected.emplace_back(buffer, length);
    }
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(seen.size(), 4u);
}

}  // namespace
