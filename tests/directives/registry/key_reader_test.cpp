#include <gtest/gtest.h>

#include "directives/registry/registry.h"
#include "tests/directives/registry/registry_fixtures.h"
#include "util/owned.h"

namespace {

std::vector<BYTE> Pattern(size_t size) {
    std::vector<BYTE> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<BYTE>(i * 7 + 3);
    return bytes;
}

// The value at `index` as the reader holds it after a read.
struct ReadValue {
    LONG status;
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
};

ReadValue Read(HKEY key, DWORD index, KeyReader& reader) {
    ReadValue value{ReadValueAt(key, index, reader), {}, 0, {}};
    if (value.status == ERROR_SUCCESS) {
        value.name.assign(reader.name.data(), reader.nameLength);
        value.type = reader.type;
        value.data.assign(reader.data.begin(), reader.data.begin() + reader.dataSize);
    }
    return value;
}

TEST(KeyReader, ValuesThatOutgrowTheBuffersAreReadWhole) {
    TestKey key(L"ReaderGrowth");
    key.SetString(L"small", L"s");
    KeyReader reader;
    KeyCounts counts = FitBuffers(key.key(), reader);
    EXPECT_EQ(counts.values, 1u);
    EXPECT_EQ(counts.subkeys, 0u);

    // Added after the buffers were sized, as when the key changes during a walk: the read must grow
    // them rather than cut the name or the data.
    const std::wstring longName(16383, L'n');
    const std::vector<BYTE> big = Pattern(100000);
    key.SetValue(longName, REG_BINARY, big.data(), static_cast<DWORD>(big.size()));
    key.SetValue(L"", REG_BINARY, nullptr, 0);

    std::vector<ReadValue> seen;
    for (DWORD index = 0; index < 3; ++index) seen.push_back(Read(key.key(), index, reader));
    EXPECT_EQ(Read(key.key(), 3, reader).status, ERROR_NO_MORE_ITEMS);
    int found = 0;
    for (const ReadValue& value : seen) {
        ASSERT_EQ(value.status, ERROR_SUCCESS);
        if (value.name == longName) {
            EXPECT_EQ(value.type, static_cast<DWORD>(REG_BINARY));
            EXPECT_EQ(value.data, big);
            ++found;
        } else if (value.name == L"small") {
            EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
            EXPECT_EQ(value.data.size(), 4u);
            ++found;
        } else if (value.name.empty()) {
            EXPECT_TRUE(value.data.empty());  // nothing left over from the big value read before it
            ++found;
        }
    }
    EXPECT_EQ(found, 3);
}

TEST(KeyReader, CountsThatOutliveTheirEntriesShowNothingStale) {
    TestKey key(L"ReaderShrink");
    for (const wchar_t* name : {L"one", L"two", L"three"}) key.SetString(name, name);
    for (const wchar_t* name : {L"A", L"B"}) key.CreateSubKey(name);
    KeyReader reader;
    KeyCounts counts = FitBuffers(key.key(), reader);
    ASSERT_EQ(counts.values, 3u);
    ASSERT_EQ(counts.subkeys, 2u);

    // Entries removed after the counts were taken end the walks early.
    ASSERT_EQ(RegDeleteValueW(key.key(), L"two"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyW(key.key(), L"B"), ERROR_SUCCESS);
    DStringList values(SortDStrings(GetValues(key.key(), counts.values, reader)));
    std::wstring shown;
    for (DString* node = values.get(); node != nullptr; node = node->next)
        shown += node->first + std::wstring(node->second) + L";";
    EXPECT_EQ(shown, L"\"one\"=\"one\";\"three\"=\"three\";");
    StringList names(GetSubkeys(key.key(), counts.subkeys, reader));
    ASSERT_NE(names.get(), nullptr);
    EXPECT_STREQ(names.get()->text, L"A");
    EXPECT_EQ(names.get()->next, nullptr);

    // Unknown counts walk to the end the registry reports.
    StringList all(GetSubkeys(key.key(), MAXDWORD, reader));
    ASSERT_NE(all.get(), nullptr);
    EXPECT_EQ(all.get()->next, nullptr);
    DStringList strings(GetStringValues(key.key(), MAXDWORD, reader));
    int count = 0;
    for (DString* node = strings.get(); node != nullptr; node = node->next) ++count;
    EXPECT_EQ(count, 2);
}

}  // namespace
