// The registry reader: reads that outgrow their buffers, counts that outlive their entries, and keys
// deleted while they are read.
#include "util/registry.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "directives/registry/registry.h"
#include "tests/support/pools.h"
#include "tests/support/test_support.h"
#include "util/registry_values.h"

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

TEST(RegistryReader, ValuesThatOutgrowTheBuffersAreReadWhole) {
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

TEST(RegistryReader, CountsThatOutliveTheirEntriesShowNothingStale) {
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
    std::vector<TextPair> values = GetValues(key.key(), counts.values, reader);
    SortDStrings(values);
    std::wstring shown;
    for (const TextPair& value : values) shown += value.first + value.second + L";";
    EXPECT_EQ(shown, L"\"one\"=\"one\";\"three\"=\"three\";");
    EXPECT_EQ(GetSubkeyNames(key.key(), counts.subkeys, reader), std::vector<std::wstring>{L"A"});

    // Unknown counts walk to the end the registry reports.
    EXPECT_EQ(GetSubkeyNames(key.key(), MAXDWORD, reader), std::vector<std::wstring>{L"A"});
    EXPECT_EQ(GetStringValues(key.key(), MAXDWORD, reader).size(), 2u);
}

TEST(KeyCycles, AKeyIsEnteredOnlyWhenItsResolvedNameIsNotOnThePath) {
    const std::wstring root = L"\\REGISTRY\\USER\\S-1\\Software";
    const std::vector<std::wstring> path = {root, root + L"\\A", root + L"\\A\\B"};
    const struct {
        std::vector<std::wstring> path;
        std::wstring name;
        bool enters;
    } kCases[] = {
        {path, root + L"\\A\\B\\C", true},                         // an ordinary child
        {path, root + L"\\A\\B", false},                           // a link to itself or its parent
        {path, root + L"\\A", false},                              // to its grandparent
        {path, root, false},                                       // to the walk's root
        {path, root + L"\\a\\b", false},                           // names differ only in case
        {path, root + L"\\A\\Bx", true},                           // a prefix of a name is another key
        {path, root + L"\\X", true},                               // a sibling's tree, not on the path
        {path, std::wstring(L"\\REGISTRY\\MACHINE\0", 18), true},  // NULs count
        {{}, root, true},                                          // nothing open yet
        {path, L"", false},                                        // unknown: no cycle could be seen
        {{}, L"", false},
    };
    auto shared = [](const std::vector<std::wstring>& names) {
        std::vector<ResolvedName> path;
        for (const std::wstring& name : names) path.push_back(std::make_shared<const std::wstring>(name));
        return path;
    };
    for (const auto& row : kCases) EXPECT_EQ(EntersKey(shared(row.path), row.name), row.enters) << Narrow(row.name);
    // The rule tells NUL-holding names apart by their whole length.
    const std::vector<ResolvedName> nul = shared({std::wstring(L"\\R\\a\0b", 6)});
    EXPECT_FALSE(EntersKey(nul, std::wstring(L"\\R\\A\0B", 6)));
    EXPECT_TRUE(EntersKey(nul, std::wstring(L"\\R\\a\0c", 6)));
    EXPECT_TRUE(EntersKey(nul, L"\\R\\a"));
}

// Names as NtQueryKey gives them on Windows: \REGISTRY\MACHINE\SYSTEM\ControlSet001 for a key opened
// as HKLM\SYSTEM\CurrentControlSet, whose parent resolves to \REGISTRY\MACHINE\SYSTEM.
TEST(KeyLinks, AKeyElsewhereThanItsParentSaysWasReachedThroughALink) {
    const std::wstring system = L"\\REGISTRY\\MACHINE\\SYSTEM";
    const struct {
        std::wstring parent, name, resolved, link;
    } kCases[] = {
        {system, L"ControlSet001", system + L"\\ControlSet001", L""},
        {system, L"controlset001", system + L"\\ControlSet001", L""},  // opened in another case
        {system, L"CurrentControlSet", system + L"\\ControlSet001", system + L"\\CurrentControlSet"},
        // Under a key reached through a link, the parent's own name is the link's target.
        {system + L"\\ControlSet001\\Hardware Profiles", L"Current",
         system + L"\\ControlSet001\\Hardware Profiles\\0001", system + L"\\ControlSet001\\Hardware Profiles\\Current"},
        // The merged HKEY_CLASSES_ROOT: a key of the user's classes below the machine's.
        {L"\\REGISTRY\\MACHINE\\SOFTWARE\\Classes", L".txt", L"\\REGISTRY\\USER\\S-1-5-21-1_Classes\\.txt",
         L"\\REGISTRY\\MACHINE\\SOFTWARE\\Classes\\.txt"},
        {L"\\R", std::wstring(L"a\0b", 3), std::wstring(L"\\R\\a\0b", 6), L""},
        {L"\\R", std::wstring(L"a\0b", 3), std::wstring(L"\\R\\a\0c", 6), std::wstring(L"\\R\\a\0b", 6)},
        {L"\\R", L"a", L"\\R\\ab", L"\\R\\a"},  // a prefix of the name is not the name
        // Unknown names tell nothing.
        {L"", L"a", L"\\R\\a", L""},
        {L"\\R", L"a", L"", L""},
    };
    for (const auto& row : kCases) {
        EXPECT_EQ(LinkedName(row.parent, row.name, row.resolved), row.link)
            << Narrow(row.parent) << " + " << Narrow(VisibleName(row.name)) << " -> " << Narrow(row.resolved);
    }
}

TEST(KeyNames, NulsAreShownWholeAndSortedUpToTheFirst) {
    EXPECT_EQ(VisibleName(L"", 0), L"");
    EXPECT_EQ(VisibleName(L"Run", 3), L"Run");
    EXPECT_EQ(VisibleName(std::wstring(L"\0x", 2)), L"\\0x");
    EXPECT_EQ(VisibleName(std::wstring(L"a\0\0", 3)), L"a\\0\\0");
    std::vector<std::wstring> names = {
        L"b", std::wstring(L"a\0c", 3), L"A", std::wstring(L"\0z", 2), std::wstring(L"a\0b", 3), L"a"};
    // Names equal up to their first NUL keep the order the registry gave them.
    SortStrings(names);
    EXPECT_EQ(names, (std::vector<std::wstring>{std::wstring(L"\0z", 2), std::wstring(L"a\0c", 3), L"A",
                                                std::wstring(L"a\0b", 3), L"a", L"b"}));
}

TEST(StringData, ReadAsIfIntoAZeroFilledBufferTwoBytesLarger) {
    auto bytes = [](std::initializer_list<int> values) {
        std::vector<BYTE> data;
        for (int value : values) data.push_back(static_cast<BYTE>(value));
        return data;
    };
    const struct {
        std::vector<BYTE> data;
        std::wstring units;
        std::wstring text;
    } kCases[] = {
        {{}, L"", L""},
        {bytes({'a'}), L"a", L"a"},
        {bytes({'a', 0, 'b'}), L"ab", L"ab"},
        {bytes({'a', 0, 'b', 0}), L"ab", L"ab"},
        {bytes({'a', 0, 0, 0, 'b'}), std::wstring(L"a\0b", 3), L"a"},
        {bytes({0x2D, 0x4E, 0xFF}), L"\u4e2d\u00ff", L"\u4e2d\u00ff"},
        {bytes({0, 0, 'x'}), std::wstring(L"\0x", 2), L""},
    };
    for (const auto& row : kCases) {
        EXPECT_EQ(StringDataUnits(row.data.data(), row.data.size()), row.units);
        EXPECT_EQ(StringDataText(row.data), row.text);
    }
}

TEST(Subkeys, ListsEveryNameInEnumerationOrder) {
    TestKey key(L"Subkeys");
    EXPECT_TRUE(GetSubkeyNames(key.key()).empty());
    for (const wchar_t* name : {L"b", L"A", L"C"}) key.CreateSubKey(name);
    std::wstring longName(255, L'n');
    key.CreateSubKey(longName);

    const std::vector<std::wstring> seen = GetSubkeyNames(key.key());
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

// A key of `count` values "vNNNN" = "dNNNN" and a few sub-keys holding one value each.
void FillKey(TestKey& key, int count) {
    wchar_t name[16];
    wchar_t data[16];
    for (int i = 0; i < count; ++i) {
        swprintf(name, 16, L"v%04d", i);
        swprintf(data, 16, L"d%04d", i);
        key.SetString(name, data);
    }
    for (int i = 0; i < 20; ++i) {
        swprintf(name, 16, L"k%02d", i);
        key.SetString(L"inner", L"d-inner", name);
    }
}

// Whether a value pair is one FillKey wrote: "vNNNN" with "dNNNN" of the same number.
bool IsFilledPair(const std::wstring& label, const std::wstring& text) {
    return label.size() == 7 && text.size() == 8 && label.compare(0, 2, L"\"v") == 0 &&
           text.compare(0, 3, L"=\"d") == 0 && label.substr(2, 4) == text.substr(3, 4);
}

TEST(RegistryReader, AKeyDeletedAfterItsCountsEndsEveryEnumeration) {
    TestKey key(L"ReaderDeleted");
    FillKey(key, 300);
    KeyReader reader;
    KeyCounts counts = FitBuffers(key.key(), reader);
    ASSERT_EQ(counts.values, 300u);
    ASSERT_EQ(counts.subkeys, 20u);
    ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, key.path().c_str()), ERROR_SUCCESS);

    // Every index of the open handle fails now: the walks end after one run of failures, with nothing.
    EXPECT_TRUE(GetValues(key.key(), counts.values, reader).empty());
    EXPECT_TRUE(GetSubkeyNames(key.key(), counts.subkeys, reader).empty());
    EXPECT_TRUE(GetStringValues(key.key(), MAXDWORD, reader).empty());
    for (DWORD count : {counts.values, static_cast<DWORD>(MAXDWORD)}) {
        KeyCursor cursor{count};
        EXPECT_FALSE(NextValue(key.key(), cursor, reader));
        EXPECT_EQ(cursor.next, kMaxFailedSteps + 1);
        EXPECT_FALSE(NextValue(key.key(), cursor, reader));  // an ended cursor stays ended
        EXPECT_EQ(cursor.next, kMaxFailedSteps + 1);
    }
    std::vector<std::wstring> findings;
    FindRegs(L"D", key.key(), L"X", findings, OnThisThread());
    EXPECT_TRUE(findings.empty());
}

// Far more reads than a deletion takes to land.
constexpr int kMaxRounds = 100000;

struct ReadJob {
    const std::function<bool()>* round;
    HANDLE started;
    int rounds;
};

DWORD WINAPI RunReadJob(void* parameter) {
    auto* job = static_cast<ReadJob*>(parameter);
    SetEvent(job->started);
    while (job->rounds < kMaxRounds && (*job->round)()) ++job->rounds;
    return 0;
}

// Runs `round()` on a second thread, read after read until it answers false (the key is gone), and
// deletes the key once the reads have begun, so that one of them meets the deletion. True when the
// reads ended by themselves within the wait.
bool ReadsWhileDeleted(const TestKey& key, const std::function<bool()>& round) {
    KernelHandle started(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ReadJob job{&round, started.get(), 0};
    KernelHandle thread(CreateThread(nullptr, 0, RunReadJob, &job, 0, nullptr));
    if (!thread) return false;
    WaitForSingleObject(started.get(), INFINITE);
    EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, key.path().c_str()), ERROR_SUCCESS);
    if (WaitForSingleObject(thread.get(), kHangBoundMs) == WAIT_OBJECT_0) return job.rounds < kMaxRounds;
    TerminateThread(thread.get(), 1);  // so that the other tests still run
    return false;
}

TEST(RegistryReader, AKeyDeletedWhileItsValuesAreReadEndsTheRead) {
    TestKey key(L"ReaderRace");
    FillKey(key, 3000);
    std::vector<std::wstring> wrong;
    ASSERT_TRUE(ReadsWhileDeleted(key, [&] {
        KeyReader reader;
        const std::vector<TextPair> values = GetValues(key.key(), FitBuffers(key.key(), reader).values, reader);
        for (const TextPair& value : values) {
            if (!IsFilledPair(value.first, value.second)) wrong.push_back(value.first + value.second);
        }
        return !values.empty();
    }));
    EXPECT_TRUE(wrong.empty()) << Narrow(wrong.front());
}

TEST(RegistryReader, AKeyDeletedDuringASearchEndsTheSearch) {
    TestKey key(L"ReaderRaceFind");
    FillKey(key, 3000);
    std::set<std::wstring> possible;
    std::vector<std::wstring> all;
    FindRegs(L"D", key.key(), L"X", all, OnThisThread());
    possible.insert(all.begin(), all.end());
    ASSERT_EQ(possible.size(), 3020u);

    std::vector<std::wstring> wrong;
    ASSERT_TRUE(ReadsWhileDeleted(key, [&] {
        std::vector<std::wstring> found;
        FindRegs(L"D", key.key(), L"X", found, OnThisThread());
        for (const std::wstring& finding : found) {
            if (possible.count(finding) != 1) wrong.push_back(finding);
        }
        return !found.empty();
    }));
    EXPECT_TRUE(wrong.empty()) << Narrow(wrong.front());
}

TEST(RegistryReader, AKeyDeletedWhileOneValueIsLookedUpEndsTheLookup) {
    TestKey key(L"ReaderRaceValue");
    FillKey(key, 3000);
    std::vector<std::wstring> answers;
    ASSERT_TRUE(ReadsWhileDeleted(key, [&] {
        // The wanted name comes last, so that each lookup walks every value.
        const std::optional<std::wstring> last = GetRegSZValue(HKEY_CURRENT_USER, key.path().c_str(), L"V2999");
        const std::optional<std::wstring> missing = GetRegSZValue(HKEY_CURRENT_USER, key.path().c_str(), L"missing");
        if (missing) answers.push_back(L"missing: " + *missing);
        if (last) answers.push_back(*last);
        return last.has_value();
    }));
    for (const std::wstring& answer : answers) EXPECT_EQ(answer, L"d2999");
    EXPECT_FALSE(GetRegSZValue(HKEY_CURRENT_USER, key.path().c_str(), L"V2999"));
}

}  // namespace
